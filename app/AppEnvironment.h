#pragma once

#include <QString>

class QApplication;

namespace velarium::app {

inline constexpr const char* kOrganizationName = "Brackwater";
inline constexpr const char* kOrganizationDomain = "brackwater.com";
inline constexpr const char* kApplicationName = "Velarium";
inline constexpr const char* kDesktopFileName = "com.brackwater.Velarium";

// Before the QApplication exists: makes the desktop data shipped beside the
// executable (its MIME package in ../share) visible to the type database,
// also when running from the build tree or an unusual prefix.
void prepareProcessEnvironment();

// The application's names, version and desktop file name.
void describeApplication();

// Once the QApplication exists: describeApplication, and the always-loaded
// English translation table.
void configureApplication(QApplication& application);

}  // namespace velarium::app
