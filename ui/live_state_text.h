#pragma once

#include <QString>

#include "libs/recorder/live_state.h"

// What the live page says about a stream's state, in the interface's
// language: "直播中", or "已停止：服务器拒绝了推流密钥" with the reason a person
// can act on (a stop that was asked for names none).
QString liveStateText(LiveState state, LiveStopReason reason);
// The reason alone; empty for None and Requested.
QString liveStopReasonText(LiveStopReason reason);
