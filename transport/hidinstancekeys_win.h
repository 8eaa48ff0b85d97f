#pragma once

#include <QHash>
#include <QString>

#include <vector>

// Instance keys for the HID interfaces a Windows listing finds. Windows
// gives a cable plugged in again into the same socket the same device path,
// so the path alone cannot tell a re-plug from a cable that stayed: each path
// carries a generation, counted up whenever the system reports the interface
// removed or a listing no longer finds it. No system calls: the backend feeds
// it what the system said.
class HidInstanceKeys
{
public:
    // The keys for a listing of `paths`, in their order. A path that an
    // earlier listing had and this one lacks is counted as removed.
    std::vector<QString> keysFor(const std::vector<QString> &paths);
    // The system reported the interface at `path` removed.
    void removed(const QString &path);

private:
    struct Entry
    {
        unsigned generation = 0;
        bool listed = false;
    };
    QHash<QString, Entry> m_entries; // by upper-cased path: Windows ignores letter case
};
