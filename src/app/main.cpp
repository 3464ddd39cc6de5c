// Corvel Quillmark: compose mathematical expressions as pictures.

#include "app/module1.h"
#include "app/platform/qtplatform.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvel Quillmark"));
    quill::QtPlatform platform;
    quill::Module1 module(platform);
    module.Main();
    return QApplication::exec();
}
