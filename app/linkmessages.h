#pragma once

#include <QString>

#include <optional>

struct LinkFailure;

// What the window says when a link fails: an error box or a notice. Nothing
// when a lost link waits for its device, which its button shows instead.
struct LinkMessage
{
    bool error = true; // an error box; otherwise a notice
    QString text;
};
std::optional<LinkMessage> linkFailureMessage(const LinkFailure &failure);
