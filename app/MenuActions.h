#pragma once

// Object names of the menu actions, by which windows, documents and the
// application validate and find them (tests too).
namespace velarium::app {

inline constexpr const char* kOpenDocumentAction = "openDocument";
inline constexpr const char* kClearRecentDocumentsAction = "clearRecentDocuments";
inline constexpr const char* kCloseDocumentAction = "closeDocument";
inline constexpr const char* kRevertDocumentAction = "revertDocumentToSaved";
inline constexpr const char* kNextAnimationAction = "nextAnimation";
inline constexpr const char* kPreviousAnimationAction = "previousAnimation";
inline constexpr const char* kExportFrameAction = "exportFrame";
inline constexpr const char* kExportAnimationAction = "exportAnimation";
inline constexpr const char* kExportFramesAction = "exportFrames";
inline constexpr const char* kQuitAction = "quit";
inline constexpr const char* kCopyFrameAction = "copyFrame";
inline constexpr const char* kActualSizeAction = "actualSize";
inline constexpr const char* kZoomInAction = "zoomIn";
inline constexpr const char* kZoomOutAction = "zoomOut";
inline constexpr const char* kFitToWindowAction = "fitToWindow";
inline constexpr const char* kCorrectPixelAspectAction = "correctPixelAspect";
inline constexpr const char* kCycleColoursAction = "cycleColours";
inline constexpr const char* kFullScreenAction = "toggleFullScreen";
inline constexpr const char* kPlayPauseAction = "playPause";
inline constexpr const char* kStepBackwardAction = "stepBackward";
inline constexpr const char* kStepForwardAction = "stepForward";
inline constexpr const char* kFirstFrameAction = "firstFrame";
inline constexpr const char* kLastFrameAction = "lastFrame";
inline constexpr const char* kGoToFrameAction = "goToFrame";
inline constexpr const char* kLoopAction = "loop";
inline constexpr const char* kPingPongAction = "pingPong";
inline constexpr const char* kSpeedHalfAction = "speedHalf";
inline constexpr const char* kSpeedNormalAction = "speedNormal";
inline constexpr const char* kSpeedDoubleAction = "speedDouble";
inline constexpr const char* kSpeedDownAction = "speedDown";
inline constexpr const char* kSpeedUpAction = "speedUp";
inline constexpr const char* kShowInfoAction = "showDocumentInfo";
inline constexpr const char* kCheckForUpdatesAction = "doWebUpdate";
inline constexpr const char* kMediaExtensionTipAction = "showMediaExtensionTip";
inline constexpr const char* kKeyboardShortcutsAction = "showKeyboardShortcuts";
inline constexpr const char* kAboutAction = "about";
inline constexpr const char* kAboutQtAction = "aboutQt";

// Menu items that the application object answers for carry a tag; it
// enables exactly the tags it knows.
inline constexpr const char* kTagProperty = "tag";
inline constexpr int kCheckForUpdatesTag = 50;
inline constexpr int kMediaExtensionTipTag = 51;

}  // namespace velarium::app
