#include "app/dialogplace.h"

namespace {

bool coversAny(const QRect &place, const QList<QRect> &rects, qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i)
        if (place.intersects(rects.at(i)))
            return true;
    return false;
}

// `at` moved the least needed for a rectangle of `size` to lie on `screen`.
QPoint onScreen(QPoint at, QSize size, const QRect &screen)
{
    at.setX(qBound(screen.left(), at.x(), qMax(screen.left(), screen.right() - size.width() + 1)));
    at.setY(qBound(screen.top(), at.y(), qMax(screen.top(), screen.bottom() - size.height() + 1)));
    return at;
}

} // namespace

QPoint placeDialog(QSize size, const QRect &screen, const QRect &window, const QList<QRect> &avoid)
{
    const QList<QPoint> beside = {{window.right() + 1, window.top()},
                                  {window.left() - size.width(), window.top()},
                                  {window.left(), window.bottom() + 1},
                                  {window.left(), window.top() - size.height()}};
    for (const QPoint &at : beside)
        if (screen.contains(QRect(at, size)))
            return at;

    // Over the window: right or left aligned, just above or below each thing to
    // keep clear, or at the top or bottom.
    const QList<int> xs = {window.right() - size.width() + 1, window.left(), screen.right() - size.width() + 1,
                           screen.left()};
    QList<int> ys = {window.top(), window.bottom() - size.height() + 1};
    for (const QRect &rect : avoid)
        ys << rect.bottom() + 1 << rect.top() - size.height();
    ys << screen.top() << screen.bottom() - size.height() + 1;
    for (qsizetype keep = avoid.size(); keep > 0; --keep) {
        for (int y : ys) {
            for (int x : xs) {
                const QPoint at = onScreen(QPoint(x, y), size, screen);
                if (!coversAny(QRect(at, size), avoid, keep))
                    return at;
            }
        }
    }
    return onScreen(QPoint(screen.right(), screen.bottom()), size, screen);
}
