#pragma once

#include <QLatin1StringView>

// The lines the menu's web pane and the web helper send each other, one JSON object a line:
// commands carry an action under Do, reports an event under Event.
namespace WebHelperMessages {

using namespace Qt::StringLiterals;

// Keys.
inline constexpr QLatin1StringView Do = "do"_L1;
inline constexpr QLatin1StringView Event = "event"_L1;
inline constexpr QLatin1StringView Url = "url"_L1;
inline constexpr QLatin1StringView On = "on"_L1;
inline constexpr QLatin1StringView Id = "id"_L1;
inline constexpr QLatin1StringView Script = "script"_L1;
inline constexpr QLatin1StringView Width = "width"_L1;
inline constexpr QLatin1StringView Height = "height"_L1;
inline constexpr QLatin1StringView Title = "title"_L1;
inline constexpr QLatin1StringView Ok = "ok"_L1;
inline constexpr QLatin1StringView Value = "value"_L1;

// Commands, the menu to the helper.
inline constexpr QLatin1StringView Navigate = "navigate"_L1;
inline constexpr QLatin1StringView Silent = "silent"_L1;
inline constexpr QLatin1StringView Show = "show"_L1;
inline constexpr QLatin1StringView Hide = "hide"_L1;
inline constexpr QLatin1StringView Resize = "resize"_L1;
inline constexpr QLatin1StringView Run = "run"_L1;

// Events, the helper to the menu (Title and Url also name the keys that carry them).
inline constexpr QLatin1StringView Window = "window"_L1;
inline constexpr QLatin1StringView LoadFinished = "loadFinished"_L1;
inline constexpr QLatin1StringView Refused = "refused"_L1;
inline constexpr QLatin1StringView Result = "result"_L1;

} // namespace WebHelperMessages
