#include "datatest/receiveviewaccessible.h"

#include <QAccessibleWidget>
#include <algorithm>

#include "datatest/receiveview.h"

namespace {

class ReceiveViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit ReceiveViewAccessible(ReceiveView* view)
        : QAccessibleWidget(view, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        return state;
    }

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value) return readText();
        return QAccessibleWidget::text(kind);
    }

    // The marker row on a line of its own when there is one, then the text as it is copied.
    QString markerLine() const {
        return view()->layout().markerRows() > 0 ? view()->markerText() + u'\n' : QString();
    }
    QString readText() const { return markerLine() + view()->allText(); }

    // Characters of the text read and offsets into what the view keeps, both ways; the marker
    // line stands before the first byte.
    int charactersTo(uint64_t offset) const {
        const uint64_t begin = view()->layout().bytes().begin();
        const auto marker = int(markerLine().size());
        if (view()->hexDisplay()) return marker + int(3 * (offset - begin));
        return marker +
               int(QString::fromUtf8(view()->layout().bytes().slice(begin, offset)).size());
    }
    uint64_t offsetOf(int characters) const {
        const uint64_t begin = view()->layout().bytes().begin();
        characters = std::max(0, characters - int(markerLine().size()));
        if (view()->hexDisplay()) return begin + uint64_t((characters + 1) / 3);
        return begin + uint64_t(view()->allText().left(characters).toUtf8().size());
    }

    void selection(int, int* startOffset, int* endOffset) const override {
        const auto [from, to] = view()->selection();
        *startOffset = charactersTo(from);
        *endOffset = charactersTo(to);
    }
    int selectionCount() const override {
        const auto [from, to] = view()->selection();
        return from < to ? 1 : 0;
    }
    void addSelection(int startOffset, int endOffset) override {
        setSelection(0, startOffset, endOffset);
    }
    void removeSelection(int) override {
        const uint64_t caret = view()->selection().second;
        view()->select(caret, caret);
    }
    void setSelection(int, int startOffset, int endOffset) override {
        view()->select(offsetOf(startOffset), offsetOf(endOffset));
    }
    int cursorPosition() const override { return charactersTo(view()->selection().second); }
    void setCursorPosition(int position) override {
        view()->select(offsetOf(position), offsetOf(position));
    }
    QString text(int startOffset, int endOffset) const override {
        return readText().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(readText().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int startIndex, int endIndex) override {
        setSelection(0, startIndex, endIndex);
    }
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = offset;
        return {};
    }

  private:
    ReceiveView* view() const { return static_cast<ReceiveView*>(widget()); }
};

}  // namespace

QAccessibleInterface* ReceiveViewAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("ReceiveView") && object && object->isWidgetType()) {
        return new ReceiveViewAccessible(static_cast<ReceiveView*>(object));
    }
    return nullptr;
}
