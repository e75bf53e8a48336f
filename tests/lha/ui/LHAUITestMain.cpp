// The archive import tests' entry point: a private environment, then a
// QApplication with the layer's English table, then every test.
#include <gtest/gtest.h>

#include <QApplication>

#include "lha/ui/Translations.h"
#include "support/GuiTestSupport.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    velarium::testing::GuiTestEnvironment environment;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velarium"));
    velarium::installArchiveImportTranslations(application);
    return RUN_ALL_TESTS();
}
