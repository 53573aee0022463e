#include "app/MainApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    CMainApp app;
    return app.InitInstance() ? 0 : 1;
}
