#include "gui/FocusChain.h"

#include <algorithm>
#include <numeric>

#include <QWidget>

namespace actualiz::gui {

void FocusChain::Add(QWidget* widget) {
    if (widget->focusPolicy() == Qt::NoFocus) return;
    entries_.push_back({widget, static_cast<int>(widget->focusPolicy())});
}

std::vector<size_t> FocusChain::ReadingOrder(const std::vector<QRect>& areas) {
    std::vector<size_t> byLeft(areas.size());
    std::iota(byLeft.begin(), byLeft.end(), size_t{0});
    std::stable_sort(byLeft.begin(), byLeft.end(),
                     [&](size_t a, size_t b) { return areas[a].left() < areas[b].left(); });

    // Sweep from the left: an area that starts before the current column ends belongs to it.
    std::vector<std::vector<size_t>> columns;
    int columnRight = 0;
    for (size_t i : byLeft) {
        if (columns.empty() || areas[i].left() > columnRight) {
            columns.emplace_back();
            columnRight = areas[i].right();
        }
        columns.back().push_back(i);
        columnRight = std::max(columnRight, areas[i].right());
    }

    std::vector<size_t> order;
    for (std::vector<size_t>& column : columns) {
        std::stable_sort(column.begin(), column.end(), [&](size_t a, size_t b) {
            if (areas[a].top() != areas[b].top()) return areas[a].top() < areas[b].top();
            return areas[a].left() < areas[b].left();
        });
        order.insert(order.end(), column.begin(), column.end());
    }
    return order;
}

void FocusChain::Update(QWidget* window) {
    const QRect client = window->rect();
    std::vector<QWidget*> inView;
    std::vector<QRect> areas;
    for (const Entry& entry : entries_) {
        QWidget* widget = entry.widget;
        QRect area(widget->mapTo(window, QPoint(0, 0)), widget->size());
        bool shown = widget->isVisibleTo(window) && area.intersects(client);
        widget->setFocusPolicy(shown ? static_cast<Qt::FocusPolicy>(entry.policy) : Qt::NoFocus);
        if (!shown) continue;
        inView.push_back(widget);
        areas.push_back(area);
    }

    std::vector<size_t> order = ReadingOrder(areas);
    for (size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(inView[order[i - 1]], inView[order[i]]);

    // A shrinking window may leave the focus on a control that went out of view.
    QWidget* focused = window->focusWidget();
    if (focused && focused->focusPolicy() == Qt::NoFocus) {
        if (order.empty())
            focused->clearFocus();
        else
            inView[order.front()]->setFocus(Qt::OtherFocusReason);
    }
}

}  // namespace actualiz::gui
