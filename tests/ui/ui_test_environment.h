#pragma once

#include <QString>

// The panels' tests run in one offscreen application with a temporary home
// (settings, documents) and the skin painted into the build tree.
QString builtSkinFolder();
