#include "main_window/ForMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    return ForMain::run(argc, argv);
}
