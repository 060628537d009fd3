#include "widgets/Modal.h"

#include <QDialog>

Modal::Runner Modal::s_runner;

int Modal::exec(QDialog &dialog)
{
    if (s_runner)
        return s_runner(dialog);
    return dialog.exec();
}

void Modal::setRunner(Runner runner)
{
    s_runner = std::move(runner);
}
