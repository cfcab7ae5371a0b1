#include "ui/live_state_text.h"

#include <QCoreApplication>

namespace {
// The texts live in the page's translation context, where lupdate finds them.
constexpr const char* kContext = "LiveControlView";

QString translated(const char* text) { return QCoreApplication::translate(kContext, text); }

const char* reasonSource(LiveStopReason reason) {
    switch (reason) {
        case LiveStopReason::None:
        case LiveStopReason::Requested:
            return nullptr;
        case LiveStopReason::BadUrl:
            return QT_TRANSLATE_NOOP("LiveControlView", "服务器地址无效");
        case LiveStopReason::UnknownHost:
            return QT_TRANSLATE_NOOP("LiveControlView", "找不到服务器");
        case LiveStopReason::ConnectionRefused:
            return QT_TRANSLATE_NOOP("LiveControlView", "服务器拒绝连接");
        case LiveStopReason::KeyRefused:
            return QT_TRANSLATE_NOOP("LiveControlView", "服务器拒绝了推流密钥");
        case LiveStopReason::TlsFailure:
            return QT_TRANSLATE_NOOP("LiveControlView", "加密连接失败");
        case LiveStopReason::NoAnswer:
            return QT_TRANSLATE_NOOP("LiveControlView", "服务器没有应答");
        case LiveStopReason::Failed:
            break;
    }
    return QT_TRANSLATE_NOOP("LiveControlView", "推流失败");
}
}  // namespace

QString liveStopReasonText(LiveStopReason reason) {
    const char* source = reasonSource(reason);
    return source ? translated(source) : QString();
}

QString liveStateText(LiveState state, LiveStopReason reason) {
    switch (state) {
        case LiveState::Connecting:
            return translated(QT_TRANSLATE_NOOP("LiveControlView", "连接中"));
        case LiveState::Live:
            return translated(QT_TRANSLATE_NOOP("LiveControlView", "直播中"));
        case LiveState::Reconnecting:
            return translated(QT_TRANSLATE_NOOP("LiveControlView", "重新连接中"));
        case LiveState::Stopped:
            break;
    }
    QString why = liveStopReasonText(reason);
    QString stopped = translated(QT_TRANSLATE_NOOP("LiveControlView", "已停止"));
    return why.isEmpty() ? stopped
                         : translated(QT_TRANSLATE_NOOP("LiveControlView", "已停止：%1")).arg(why);
}
