// Reads arbitrary bytes as a layout record kept in a control's tag and scales it.
#include "main_window/FormLayout.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString record = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    if (FormLayout::ReadRecord(record).size() != 4)
        abort();
    for (const double ratio : {0.0, 0.5, 1.0, 2.0, 1e300}) {
        const QRect rect = FormLayout::ScaledRect(record, ratio, ratio);
        if (rect.width() < 0 || rect.height() < 0)
            abort();
    }
    return 0;
}
