// The GUI tests' entry point: a private environment, then a QApplication
// configured as the real one, then every test.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/AppEnvironment.h"
#include "support/GuiTestSupport.h"
#include "platform/mediaextension/Registration.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    velarium::testing::GuiTestEnvironment environment;
    velarium::registerFormatReaders();
    velarium::registerVideoDecoders();
    QApplication application(argc, argv);
    velarium::app::configureApplication(application);
    return RUN_ALL_TESTS();
}
