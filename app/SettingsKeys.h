#pragma once

// Every key the application keeps in its settings, in one place.
namespace velarium::settings {

inline constexpr const char* kRecentDocuments = "BW_RecentDocuments";        // string list, newest first
inline constexpr const char* kLoopPlayback = "BW_LoopPlayback";              // bool, off by default
inline constexpr const char* kPingPongPlayback = "BW_PingPongPlayback";      // bool, off by default; never with Loop
// The last window's view, for the next window.
inline constexpr const char* kViewZoom = "BW_ViewZoom";                        // int; 0 = fit to window; absent = automatic
inline constexpr const char* kViewCorrectPixelAspect = "BW_ViewCorrectPixelAspect";  // bool, off by default
inline constexpr const char* kViewWindowSize = "BW_ViewWindowSize";            // QSize of a fitted window
inline constexpr const char* kUpdateFeedURL = "BW_UpdateFeedURL";            // appcast URL; empty = none
inline constexpr const char* kUpdateAutomatically = "BW_UpdateAutomatically";  // bool, off by default
inline constexpr const char* kLastUpdateCheck = "BW_LastUpdateCheck";          // date and time
// The Media Extension tip: the full version that last showed it (absent until
// the first showing), and whether the user asked never to see it again.
inline constexpr const char* kMediaExtensionTipLastShownVersion = "BW_MediaExtensionTipLastShownVersion";  // string
inline constexpr const char* kMediaExtensionTipSuppressed = "BW_MediaExtensionTipSuppressed";              // bool

}  // namespace velarium::settings
