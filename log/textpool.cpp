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

std::uint32_t TextPool::store(QStringView text)
{
    const std::uint32_t units = std::uint32_t(text.size()) + 1;
    if (m_chunkUsed + units > m_chunkSize) {
        if (m_chunks.size() >= 0x10000)
            throw std::length_error("text pool is full");
        m_chunkSize = m_chunks.empty() ? FirstChunkUnits : std::min(m_chunkSize * 4, ChunkUnits);
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
    std::vector<Id> grown(m_slots.size() * 2, NoText);
    const std::size_t mask = grown.size() - 1;
    for (Id id = 1; id < m_places.size(); ++id) {
        std::size_t i = m_hashes[id] & mask;
        while (grown[i] != NoText)
            i = (i + 1) & mask;
        grown[i] = id;
    }
    m_slots = std::move(grown);
}

std::size_t TextPool::memoryUsed() const
{
    return m_chunkUnitsTotal * sizeof(char16_t) + m_chunks.capacity() * sizeof(void *)
        + (m_places.capacity() + m_hashes.capacity() + m_slots.capacity()) * sizeof(std::uint32_t);
}
