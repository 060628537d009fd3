#pragma once

#include <QtGlobal>

class QWidget;

// The owner of intercepted windows: called for every registered message, before the window's
// own handling (bBefore true) and/or after it. A before call that sets bHandled skips both the
// window's own handling and the after call; lReturn is the message's result.
class SubclassCallback
{
public:
    virtual ~SubclassCallback() = default;

    virtual void zSubclass_Proc(bool bBefore, bool &bHandled, qintptr &lReturn, QWidget *&lhWnd,
                                int &uMsg, qintptr &wParam, qintptr &lParam) = 0;
};
