#include "operator_gate/OperatorWork.h"

#include "catalogue/Catalogue.h"
#include "widgets/BusyWork.h"

#include <QScopeGuard>

void OperatorWork::run(QWidget *window, const QString &text, const std::function<void()> &work)
{
    CatalogueConnection &connection = Catalogue::CatalogueConnectionObject();
    connection.release();
    const auto takeBack = qScopeGuard([&connection] { connection.take(); });
    BusyWork::run(window, text, [&connection, &work] {
        connection.take();
        const auto handBack = qScopeGuard([&connection] { connection.release(); });
        work();
    });
}
