#pragma once

class QEvent;
class QWidget;

// The owner of intercepted widgets: called for every registered event, before the widget's
// own handling (bBefore true) and/or after it. A before call that sets bHandled skips both the
// widget's own handling and the after call; one that replaces the event hands its own event to
// the widget instead (it stays the caller's). lReturn is the widget's own result.
class SubclassCallback
{
public:
    virtual ~SubclassCallback() = default;

    virtual void zSubclass_Proc(bool bBefore, bool &bHandled, bool &lReturn, QWidget *lhWnd, QEvent *&event) = 0;
};
