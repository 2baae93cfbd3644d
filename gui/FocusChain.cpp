#include "gui/FocusChain.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <functional>
#include <numeric>

#include <QWidget>

namespace actualiz::gui {

namespace {

QRect AreaOn(const QWidget* widget, const QWidget* window) {
    if (widget == window) return window->rect();
    return QRect(widget->mapTo(window, QPoint(0, 0)), widget->size());
}

qint64 AreaOf(const QRegion& region) {
    qint64 total = 0;
    for (const QRect& rect : region) total += qint64{rect.width()} * rect.height();
    return total;
}

// The parts of ids when cut by lines across one axis (rows: horizontal lines, columns: vertical
// ones). Every line that crosses no area cuts; when there is none, the one line that crosses the
// fewest does, and crossings says how many it crossed (INT_MAX when no line parts them at all).
struct Cut {
    int crossings = INT_MAX;
    std::vector<std::vector<size_t>> parts;
};

Cut CutAcross(const std::vector<QRect>& areas, const std::vector<size_t>& ids, bool rows) {
    auto low = [&](size_t i) { return rows ? areas[i].top() : areas[i].left(); };
    auto high = [&](size_t i) { return rows ? areas[i].bottom() : areas[i].right(); };
    auto centre = [&](size_t i) { return rows ? areas[i].center().y() : areas[i].center().x(); };

    Cut cut;
    // Clean lines: sweep by the near edge; a gap opens where an area starts past every area
    // before it.
    std::vector<size_t> sorted = ids;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](size_t a, size_t b) { return low(a) < low(b); });
    int reach = INT_MIN;
    for (size_t i : sorted) {
        if (cut.parts.empty() || low(i) > reach) cut.parts.emplace_back();
        cut.parts.back().push_back(i);
        reach = std::max(reach, high(i));
    }
    if (cut.parts.size() > 1) {
        cut.crossings = 0;
        return cut;
    }

    // No clean line: try a line just past the far edge of each area.
    cut.parts.clear();
    int best = INT_MAX;
    int bestLine = 0;
    for (size_t edge : ids) {
        const int line = high(edge) + 1;
        int before = 0;
        int after = 0;
        int crossed = 0;
        for (size_t i : ids) {
            (centre(i) < line ? before : after) += 1;
            if (low(i) < line && high(i) >= line) ++crossed;
        }
        if (before == 0 || after == 0) continue;
        if (crossed < best) {
            best = crossed;
            bestLine = line;
        }
    }
    if (best == INT_MAX) return cut;
    cut.crossings = best;
    cut.parts.resize(2);
    for (size_t i : ids) cut.parts[centre(i) < bestLine ? 0 : 1].push_back(i);
    return cut;
}

void Read(const std::vector<QRect>& areas, const std::vector<size_t>& ids,
          std::vector<size_t>& order) {
    if (ids.size() <= 1) {
        order.insert(order.end(), ids.begin(), ids.end());
        return;
    }
    Cut rows = CutAcross(areas, ids, true);
    Cut columns = CutAcross(areas, ids, false);
    if (rows.crossings == INT_MAX && columns.crossings == INT_MAX) {
        // Areas stacked on one another: from the top, then from the left.
        std::vector<size_t> rest = ids;
        std::stable_sort(rest.begin(), rest.end(), [&](size_t a, size_t b) {
            if (areas[a].top() != areas[b].top()) return areas[a].top() < areas[b].top();
            return areas[a].left() < areas[b].left();
        });
        order.insert(order.end(), rest.begin(), rest.end());
        return;
    }
    const Cut& chosen = rows.crossings <= columns.crossings ? rows : columns;
    for (const std::vector<size_t>& part : chosen.parts) Read(areas, part, order);
}

}  // namespace

void FocusChain::Add(QWidget* widget) {
    if (widget->focusPolicy() == Qt::NoFocus) return;
    entries_.push_back({widget, static_cast<int>(widget->focusPolicy())});
}

QRegion FocusChain::VisibleRegion(const QWidget* widget, const QWidget* window) {
    if (!widget->isVisibleTo(window)) return {};
    QRegion region(AreaOn(widget, window) & window->rect());
    for (const QWidget* current = widget; current != window && current->parentWidget();
         current = current->parentWidget()) {
        const QWidget* parent = current->parentWidget();
        // A widget is drawn only inside the one it lies in...
        region &= AreaOn(parent, window);
        // ...and under those that come after it there: they lie above it.
        const QObjectList& siblings = parent->children();
        for (qsizetype i = siblings.indexOf(const_cast<QWidget*>(current)) + 1; i < siblings.size();
             ++i) {
            const auto* above = qobject_cast<const QWidget*>(siblings[i]);
            if (above && !above->isWindow() && above->isVisibleTo(window))
                region -= AreaOn(above, window);
        }
        if (region.isEmpty()) break;
    }
    return region;
}

std::vector<size_t> FocusChain::ReadingOrder(const std::vector<QRect>& areas, int slack) {
    // Each area is read by its core: slack less at every edge, and at most a quarter of it.
    std::vector<QRect> cores;
    for (const QRect& area : areas) {
        const int dx = std::max(0, std::min(slack, (area.width() - 1) / 4));
        const int dy = std::max(0, std::min(slack, (area.height() - 1) / 4));
        cores.push_back(area.adjusted(dx, dy, -dx, -dy));
    }

    // Controls lined up one after the other, of one width in a column or one height in a row,
    // with no more than slack twice between them, are read as one group, wherever the lines
    // around them fall: a column of buttons is read down the column, a row along the row. A
    // control belongs to one such group; columns are found first.
    auto near = [slack](int a, int b, int by) { return std::abs(a - b) <= by; };
    auto inColumn = [&](const QRect& a, const QRect& b) {
        const int gap = std::max(a.top(), b.top()) - std::min(a.bottom(), b.bottom()) - 1;
        return near(a.left(), b.left(), slack) && near(a.width(), b.width(), slack / 2) &&
               gap >= -slack && gap <= 2 * slack;
    };
    auto inRow = [&](const QRect& a, const QRect& b) {
        const int gap = std::max(a.left(), b.left()) - std::min(a.right(), b.right()) - 1;
        return near(a.top(), b.top(), slack) && near(a.height(), b.height(), slack / 2) &&
               gap >= -slack && gap <= 2 * slack;
    };
    std::vector<size_t> group(areas.size());
    std::iota(group.begin(), group.end(), size_t{0});
    std::function<size_t(size_t)> root = [&](size_t i) {
        return group[i] == i ? i : group[i] = root(group[i]);
    };
    std::vector<bool> grouped(areas.size(), false);
    for (size_t i = 0; i < areas.size(); ++i)
        for (size_t j = i + 1; j < areas.size(); ++j)
            if (inColumn(areas[i], areas[j])) {
                group[root(j)] = root(i);
                grouped[i] = grouped[j] = true;
            }
    for (size_t i = 0; i < areas.size(); ++i)
        for (size_t j = i + 1; j < areas.size(); ++j)
            if (!grouped[i] && !grouped[j] && inRow(areas[i], areas[j])) group[root(j)] = root(i);

    std::vector<size_t> roots;
    std::vector<std::vector<size_t>> members;
    std::vector<QRect> spans;
    for (size_t i = 0; i < areas.size(); ++i) {
        const size_t r = root(i);
        auto it = std::find(roots.begin(), roots.end(), r);
        if (it == roots.end()) {
            roots.push_back(r);
            members.emplace_back();
            spans.push_back(cores[i]);
            it = roots.end() - 1;
        }
        const auto k = static_cast<size_t>(it - roots.begin());
        members[k].push_back(i);
        spans[k] = spans[k].united(cores[i]);
    }

    std::vector<size_t> groups(spans.size());
    std::iota(groups.begin(), groups.end(), size_t{0});
    std::vector<size_t> groupOrder;
    Read(spans, groups, groupOrder);
    std::vector<size_t> order;
    for (size_t k : groupOrder) Read(cores, members[k], order);
    return order;
}

namespace {

// The controls in view, in reading order, a frame's together: the frames and controls lying
// directly in container are read as areas, and a frame's place in that order is filled with its
// own controls read the same way.
void ReadContainer(const QWidget* container, const std::vector<QWidget*>& inView,
                   const QWidget* window, std::vector<QWidget*>& order) {
    // What lies directly in container that is, or holds, a control in view.
    std::vector<QWidget*> blocks;
    std::vector<std::vector<QWidget*>> members;
    for (QWidget* widget : inView) {
        QWidget* block = widget;
        while (block->parentWidget() && block->parentWidget() != container)
            block = block->parentWidget();
        if (block->parentWidget() != container) continue;
        auto it = std::find(blocks.begin(), blocks.end(), block);
        if (it == blocks.end()) {
            blocks.push_back(block);
            members.emplace_back();
            it = blocks.end() - 1;
        }
        members[static_cast<size_t>(it - blocks.begin())].push_back(widget);
    }
    std::vector<QRect> areas;
    for (QWidget* block : blocks)
        areas.push_back(FocusChain::VisibleRegion(block, window).boundingRect());
    // The window was drawn in twips, and its frames reach up to some 90 of them (six pixels at
    // 96 dpi) into what lies beside them.
    const int slack = window->logicalDpiY() * 90 / 1440;
    for (size_t i : FocusChain::ReadingOrder(areas, slack)) {
        if (members[i].size() == 1 && members[i].front() == blocks[i])
            order.push_back(blocks[i]);
        else
            ReadContainer(blocks[i], members[i], window, order);
    }
}

}  // namespace

void FocusChain::Update(QWidget* window) {
    std::vector<QWidget*> inView;
    for (const Entry& entry : entries_) {
        QWidget* widget = entry.widget;
        // Seen: at least half of it, so that its focus mark and what it holds can be made out.
        const qint64 whole = qint64{widget->width()} * widget->height();
        const bool seen = whole > 0 && 2 * AreaOf(VisibleRegion(widget, window)) >= whole;
        widget->setFocusPolicy(seen ? static_cast<Qt::FocusPolicy>(entry.policy) : Qt::NoFocus);
        if (seen) inView.push_back(widget);
    }

    std::vector<QWidget*> order;
    ReadContainer(window, inView, window, order);
    for (size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);

    // A shrinking window may leave the focus on a control that went out of view.
    QWidget* focused = window->focusWidget();
    if (focused && focused->focusPolicy() == Qt::NoFocus) {
        if (order.empty())
            focused->clearFocus();
        else
            order.front()->setFocus(Qt::OtherFocusReason);
    }
}

}  // namespace actualiz::gui
