#include "transport/hidinstancekeys_win.h"

std::vector<QString> HidInstanceKeys::keysFor(const std::vector<QString> &paths)
{
    QHash<QString, bool> present;
    for (const QString &path : paths)
        present.insert(path.toUpper(), true);
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->listed && !present.contains(it.key())) {
            ++it->generation;
            it->listed = false;
        }
    }
    std::vector<QString> keys;
    keys.reserve(paths.size());
    for (const QString &path : paths) {
        Entry &entry = m_entries[path.toUpper()];
        entry.listed = true;
        keys.push_back(QStringLiteral("%1|%2").arg(path.toUpper()).arg(entry.generation));
    }
    return keys;
}

void HidInstanceKeys::removed(const QString &path)
{
    const auto it = m_entries.find(path.toUpper());
    if (it == m_entries.end() || !it->listed)
        return;
    // Once per removal: a listing that then misses the path counts nothing more.
    ++it->generation;
    it->listed = false;
}
