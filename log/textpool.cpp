#include "log/textpool.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

// FNV-1a over the UTF-16 units: the texts are short, and a fixed hash keeps
// the benchmarks repeatable.
std::uint32_t hashText(QStringView text)
{
    std::uint32_t h = 2166136261u;
    for (QChar c : text) {
        h ^= c.unicode();
        h *= 16777619u;
    }
    return h ^ std::uint32_t(text.size());
}

} // namespace

TextPool::TextPool()
{
    clear();
}

void TextPool::clear()
{
    m_chunks.clear();
    m_chunkSize = 0;
    m_chunkUsed = 0;
    m_chunkUnitsTotal = 0;
    m_places.assign(1, 0);
    m_hashes.assign(1, 0);
    m_places.shrink_to_fit();
    m_hashes.shrink_to_fit();
    m_slots.assign(64, NoText);
    m_slots.shrink_to_fit();
}

TextPool::Id TextPool::intern(QStringView text)
{
    if (text.size() > MaxLength)
        text = text.first(MaxLength);
    const std::uint32_t h = hashText(text);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = h & mask;; i = (i + 1) & mask) {
        const Id id = m_slots[i];
        if (id == NoText) {
            if (m_places.size() >= 0xFFFFFFFFu)
                throw std::length_error("too many distinct texts");
            const Id added = Id(m_places.size());
            m_places.push_back(store(text));
            m_hashes.push_back(h);
            m_slots[i] = added;
            if (m_places.size() * 2 > m_slots.size())
                grow();
            return added;
        }
        if (m_hashes[id] == h && view(id) == text)
            return id;
    }
}

std::uint32_t TextPool::chunkUnitsOf(std::size_t chunk)
{
    std::uint32_t units = FirstChunkUnits;
    for (std::size_t i = 0; i < chunk && units < ChunkUnits; ++i)
        units = std::min(units * 4, ChunkUnits);
    return units;
}

std::uint32_t TextPool::store(QStringView text)
{
    const std::uint32_t units = std::uint32_t(text.size()) + 1;
    if (m_chunkUsed + units > m_chunkSize) {
        if (m_chunks.size() >= 0x10000)
            throw std::length_error("text pool is full");
        m_chunkSize = chunkUnitsOf(m_chunks.size());
        m_chunks.push_back(std::make_unique_for_overwrite<char16_t[]>(m_chunkSize));
        m_chunkUnitsTotal += m_chunkSize;
        m_chunkUsed = 0;
    }
    char16_t *p = m_chunks.back().get() + m_chunkUsed;
    p[0] = char16_t(text.size());
    if (!text.isEmpty())
        std::memcpy(p + 1, text.utf16(), std::size_t(text.size()) * sizeof(char16_t));
    const std::uint32_t place = std::uint32_t(m_chunks.size() - 1) << 16 | m_chunkUsed;
    m_chunkUsed += units;
    return place;
}

void TextPool::grow()
{
    rehash(m_slots.size() * 2);
}

void TextPool::rehash(std::size_t slotCount)
{
    std::vector<Id> table(slotCount, NoText);
    const std::size_t mask = table.size() - 1;
    for (Id id = 1; id < m_places.size(); ++id) {
        std::size_t i = m_hashes[id] & mask;
        while (table[i] != NoText)
            i = (i + 1) & mask;
        table[i] = id;
    }
    m_slots = std::move(table);
}

void TextPool::truncate(std::size_t count)
{
    if (count >= this->count())
        return;
    // The storage of the first text that goes is where the pool goes on.
    const std::uint32_t place = m_places[count + 1];
    const std::size_t chunk = place >> 16;
    m_chunks.resize(chunk + 1);
    m_chunkSize = chunkUnitsOf(chunk);
    m_chunkUsed = place & 0xFFFF;
    m_chunkUnitsTotal = 0;
    for (std::size_t i = 0; i <= chunk; ++i)
        m_chunkUnitsTotal += chunkUnitsOf(i);
    m_places.resize(count + 1);
    m_hashes.resize(count + 1);
    // Open addressing cannot simply drop entries: the probe chains of the
    // texts that stay are built afresh.
    rehash(m_slots.size());
}

void TextPool::swap(TextPool &other) noexcept
{
    std::swap(m_chunks, other.m_chunks);
    std::swap(m_chunkSize, other.m_chunkSize);
    std::swap(m_chunkUsed, other.m_chunkUsed);
    std::swap(m_chunkUnitsTotal, other.m_chunkUnitsTotal);
    std::swap(m_places, other.m_places);
    std::swap(m_hashes, other.m_hashes);
    std::swap(m_slots, other.m_slots);
}

std::size_t TextPool::memoryUsed() const
{
    return m_chunkUnitsTotal * sizeof(char16_t) + m_chunks.capacity() * sizeof(void *)
           + (m_places.capacity() + m_hashes.capacity() + m_slots.capacity()) * sizeof(std::uint32_t);
}
