#pragma once

#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Keeps every distinct text once and hands out a 32-bit id for it. The log's
// texts repeat heavily (a dozen functions and units, two judgements, at most
// 86400 times of day, a few thousand displayed values), so a row stores ids
// rather than strings. Stored texts never move: a view stays valid until
// clear(), also while more texts are added.
class TextPool
{
public:
    using Id = std::uint32_t;
    static constexpr Id NoText = 0;       // stands for "no value"
    static constexpr int MaxLength = 255; // longer texts are cut

    TextPool();
    TextPool(const TextPool &) = delete;
    TextPool &operator=(const TextPool &) = delete;

    // The id of `text`, adding it when it is new. Throws std::length_error
    // when the pool cannot hold another text.
    Id intern(QStringView text);
    QStringView view(Id id) const
    {
        if (id == NoText)
            return {};
        const std::uint32_t place = m_places[id];
        const char16_t *p = m_chunks[place >> 16].get() + (place & 0xFFFF);
        return QStringView(p + 1, qsizetype(p[0]));
    }

    // Distinct texts held, the empty text included once it was added.
    std::size_t count() const { return m_places.size() - 1; }
    void clear();
    // Forgets every text added after the first `count` (ids above `count`),
    // with their storage: what a failed file open added goes again.
    void truncate(std::size_t count);
    void swap(TextPool &other) noexcept;
    std::size_t memoryUsed() const;

private:
    // Texts are stored in chunks of up to 65536 UTF-16 units; the first
    // chunks are smaller, so that a short table stays small.
    static constexpr std::uint32_t ChunkUnits = 1u << 16;
    static constexpr std::uint32_t FirstChunkUnits = 1u << 10;

    static std::uint32_t chunkUnitsOf(std::size_t chunk);
    std::uint32_t store(QStringView text);
    void grow();
    void rehash(std::size_t slotCount);

    std::vector<std::unique_ptr<char16_t[]>> m_chunks;
    std::uint32_t m_chunkSize = 0; // units in the last chunk
    std::uint32_t m_chunkUsed = 0; // units taken in the last chunk
    std::size_t m_chunkUnitsTotal = 0;
    std::vector<std::uint32_t> m_places; // per id: chunk << 16 | unit; there the length, then the text
    std::vector<std::uint32_t> m_hashes; // per id
    std::vector<Id> m_slots;             // open addressing; NoText marks a free slot
};
