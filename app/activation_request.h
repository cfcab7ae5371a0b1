#pragma once

#include <QString>
#include <optional>

// What a later start of the program asks of the running copy over the
// instance channel: to come forward. On Wayland a window takes the focus only
// with an activation token, which the desktop's launcher hands the program it
// starts in XDG_ACTIVATION_TOKEN; the later start passes its token on with
// the request. A request without one (from a launcher that gives none, or a
// copy from before tokens were passed) still asks for attention.
struct ActivationRequest {
    QString token;  // empty when there is none
};

// The channel's line for `request`: "activate window", followed by
// " token=" and the token when there is one. A token that could not travel
// in one line of the channel is left out.
QString activationMessage(const ActivationRequest& request);
// The request that `message` carries; nullopt when it is no activation request.
std::optional<ActivationRequest> activationRequestIn(const QString& message);
