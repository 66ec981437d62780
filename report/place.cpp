#include "report/place.h"

namespace core {

QString pad4(int number)
{
    return QString::number(number).rightJustified(4, QLatin1Char('0'));
}

} // namespace core
