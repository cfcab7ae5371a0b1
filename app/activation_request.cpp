#include "app/activation_request.h"

namespace {
const QString kActivate = QStringLiteral("activate window");
const QString kTokenField = QStringLiteral(" token=");

// Tokens are printable text (a UUID and a time on GNOME); a blank or a
// control character would split or end the channel's line.
bool travelsInOneLine(const QString& token) {
    for (QChar c : token) {
        if (c.isSpace() || !c.isPrint()) {
            return false;
        }
    }
    return true;
}
}  // namespace

QString activationMessage(const ActivationRequest& request) {
    if (request.token.isEmpty() || !travelsInOneLine(request.token)) {
        return kActivate;
    }
    return kActivate + kTokenField + request.token;
}

std::optional<ActivationRequest> activationRequestIn(const QString& message) {
    if (message == kActivate) {
        return ActivationRequest{};
    }
    if (!message.startsWith(kActivate + kTokenField)) {
        return std::nullopt;
    }
    QString token = message.mid(kActivate.size() + kTokenField.size());
    if (!travelsInOneLine(token)) {
        return std::nullopt;
    }
    return ActivationRequest{token};
}
