#pragma once

#include <functional>

class QDialog;

// Runs dialogs modally. Tests install a runner so that no modal loop ever blocks them.
class Modal
{
public:
    using Runner = std::function<int(QDialog &)>;

    static int exec(QDialog &dialog);
    static void setRunner(Runner runner); // an empty runner restores QDialog::exec

private:
    static Runner s_runner;
};
