#include <QApplication>

#include "app/AppEnvironment.h"
#include "platform/mediaextension/Registration.h"

int main(int argc, char** argv) {
    // The embedded format reader and video decoder become usable in this
    // process before anything can open a document. When they cannot be
    // loaded the application still starts; each document then reports it.
    velarium::registerFormatReaders();
    velarium::registerVideoDecoders();
    velarium::app::prepareProcessEnvironment();

    QApplication application(argc, argv);
    velarium::app::configureApplication(application);
    return QApplication::exec();
}
