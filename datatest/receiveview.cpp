#include "datatest/receiveview.h"

#include <QAccessible>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHBoxLayout>
#include <QImage>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScrollBar>
#include <QStyleOptionComplex>
#include <QTimer>
#include <QToolButton>

#include "core/language.h"
#include "core/messages.h"
#include "datatest/receiveviewaccessible.h"

namespace {

constexpr int kMargin = 4;
constexpr int kTabChars = 4;
// "[12:34:56.789] " and "0000ABCD  " before a row's content.
constexpr int kStampChars = 15;
constexpr int kOffsetChars = 10;
// Saving goes through what is kept a slice at a time.
constexpr uint64_t kSaveSlice = 1024 * 1024;

const LocalizedMessage kSaveFailed{"Could not save the received data.", "无法保存接收数据。",
                                   "ERROR"};

// How a character is painted: a tab as spaces, other control characters as their pictures.
// Calls visit(codePoint, offset) for each code point of the text in [from, to) while it
// returns true.
template <typename Visit>
void ForEachCodePoint(const ChunkedBytes& text, uint64_t from, uint64_t to, Visit visit) {
    for (uint64_t at = from; at < to;) {
        const auto [cp, length] = CodePointAt(text, at);
        if (!visit(cp, at)) return;
        at += uint64_t(length);
    }
}

// Qt's raster engine hands a fill taller than about 96 pixel rows to its thread pool and waits
// for it. The scroll bar, repainted with nearly every arrival, paid more for those hand-offs
// than for its pixels. It is painted band by band into a small image, over the background it
// fills itself with, so its style's fills stay short and on the window's thread.
class BandedScrollBarStyle : public QProxyStyle {
  public:
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override {
        if (control != CC_ScrollBar || !widget) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        constexpr int kBandRows = 64;
        const QRect area = option->rect;
        const qreal ratio = painter->device()->devicePixelRatio();
        const QBrush background = widget->palette().brush(widget->backgroundRole());
        QImage band(QSize(area.width(), kBandRows) * ratio, QImage::Format_ARGB32_Premultiplied);
        band.setDevicePixelRatio(ratio);
        for (int top = area.top(); top <= area.bottom(); top += kBandRows) {
            QPainter bandPainter(&band);
            bandPainter.translate(-area.left(), -top);
            bandPainter.fillRect(QRect(area.left(), top, area.width(), kBandRows), background);
            QProxyStyle::drawComplexControl(control, option, &bandPainter, widget);
            bandPainter.end();
            painter->drawImage(QPoint(area.left(), top), band);
        }
    }
};

QString Shown(char32_t cp) {
    if (cp == U'\t') return QString(kTabChars, u' ');
    if (cp < 0x20) return QString(QChar(char16_t(0x2400 + cp)));
    if (cp == 0x7F) return QString(QChar(char16_t(0x2421)));
    return QString::fromUcs4(&cp, 1);
}

QString HexPairs(QByteArrayView bytes) {
    return QString::fromLatin1(bytes.toByteArray().toHex(' ').toUpper());
}

QAction* MakeAction(QWidget* owner, const QString& text, const QKeySequence& keys = {}) {
    auto* action = new QAction(text, owner);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    owner->addAction(action);
    return action;
}

}  // namespace

ReceiveView::ReceiveView(QWidget* parent, int64_t capacity)
    : QAbstractScrollArea(parent),
      store_(capacity),
      layout_(store_, [this](char32_t cp) { return advance(cp); }),
      clock_([] { return QDateTime::currentMSecsSinceEpoch(); }) {
    static const bool accessible =
        (QAccessible::installFactory(ReceiveViewAccessibleFactory), true);
    Q_UNUSED(accessible);
    font_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    viewport()->setFont(font_);
    const QFontMetricsF metrics(font_);
    charWidth_ = metrics.horizontalAdvance(u'0');
    lineHeight_ = QFontMetrics(font_).height();
    for (char32_t c = 0; c < asciiAdvance_.size(); ++c) {
        asciiAdvance_[c] = metrics.horizontalAdvance(Shown(c));
    }
    rawFont_ = QRawFont::fromFont(font_);
    for (char16_t c = 0x20; c < 0x7F; ++c) {
        const QList<quint32> glyph = rawFont_.glyphIndexesForString(QString(QChar(c)));
        asciiGlyphs_[c] = glyph.isEmpty() ? 0 : glyph.first();
    }
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setCursor(Qt::IBeamCursor);
    // Every paint covers the whole viewport, so nothing behind it needs painting.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // The scroll bar moves with every arrival; filled, it is repainted alone instead of with
    // the frames and the group box behind it.
    verticalScrollBar()->setAutoFillBackground(true);
    auto* bandedStyle = new BandedScrollBarStyle;
    bandedStyle->setParent(verticalScrollBar());
    verticalScrollBar()->setStyle(bandedStyle);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        follow_ = value == verticalScrollBar()->maximum();
        if (follow_) newDataHint_->hide();
    });

    newDataHint_ = new QToolButton(viewport());
    newDataHint_->setObjectName(QStringLiteral("NewDataHint"));
    newDataHint_->setText(Tr("New data below \u25BC", "下方有新数据 \u25BC"));
    newDataHint_->hide();
    connect(newDataHint_, &QToolButton::clicked, this, &ReceiveView::scrollToNewest);

    buildActions();
    buildFindBar();
    relayout();
}

void ReceiveView::buildActions() {
    CopyAction = MakeAction(this, Tr("Copy", "复制"), QKeySequence::Copy);
    connect(CopyAction, &QAction::triggered, this,
            [this] { QApplication::clipboard()->setText(selectedText()); });
    SelectAllAction = MakeAction(this, Tr("Select All", "全选"), QKeySequence::SelectAll);
    connect(SelectAllAction, &QAction::triggered, this,
            [this] { select(layout_.bytes().begin(), layout_.bytes().end()); });
    FindAction = MakeAction(this, Tr("&Find...", "查找(&F)..."), QKeySequence::Find);
    connect(FindAction, &QAction::triggered, this, [this] {
        findBar_->show();
        findEdit_->setFocus();
        findEdit_->selectAll();
    });
    SaveAction = MakeAction(this, Tr("Save Received &Data...", "保存接收数据(&D)..."));
    connect(SaveAction, &QAction::triggered, this, &ReceiveView::askSavePath);

    rowsGroup_ = new QActionGroup(this);
    const auto rowsAction = [this](const QString& text, int bytes) {
        QAction* action = MakeAction(this, text);
        action->setCheckable(true);
        rowsGroup_->addAction(action);
        connect(action, &QAction::triggered, this, [this, bytes] { setHexBytesPerRow(bytes); });
        return action;
    };
    FitRowsAction = rowsAction(Tr("Hex Rows as &Wide as the View", "十六进制行宽随窗口(&W)"), 0);
    Rows16Action = rowsAction(Tr("&16 Bytes per Hex Row", "十六进制每行16字节(&1)"), 16);
    Rows32Action = rowsAction(Tr("&32 Bytes per Hex Row", "十六进制每行32字节(&3)"), 32);
    FitRowsAction->setChecked(true);

    StampsAction = MakeAction(this, Tr("&Time Stamps", "时间戳(&T)"));
    StampsAction->setCheckable(true);
    connect(StampsAction, &QAction::toggled, this, &ReceiveView::setStampsShown);
    QuietTimeAction = MakeAction(this, Tr("Time Stamp &Quiet Time...", "时间戳静默间隔(&Q)..."));
    connect(QuietTimeAction, &QAction::triggered, this, &ReceiveView::askQuietTime);
}

void ReceiveView::buildFindBar() {
    findBar_ = new QWidget(this);
    findBar_->setObjectName(QStringLiteral("FindBar"));
    findBar_->setAutoFillBackground(true);
    auto* row = new QHBoxLayout(findBar_);
    row->setContentsMargins(2, 2, 2, 2);
    findEdit_ = new QLineEdit(findBar_);
    findEdit_->setObjectName(QStringLiteral("FindText"));
    findEdit_->setAccessibleName(Tr("Find in received data", "在接收数据中查找"));
    findEdit_->setPlaceholderText(Tr("Find (Enter: next, Shift+Enter: previous)",
                                     "查找（回车：下一个，Shift+回车：上一个）"));
    row->addWidget(findEdit_);
    findBar_->hide();
    FindTimer = new QTimer(this);
    FindTimer->setInterval(0);
    connect(FindTimer, &QTimer::timeout, this, &ReceiveView::continueFind);
    connect(findEdit_, &QLineEdit::returnPressed, this, [this] {
        find(findEdit_->text(), QApplication::keyboardModifiers() & Qt::ShiftModifier);
    });
    connect(this, &ReceiveView::findFinished, this, [this](bool found) { showNotFound(!found); });
    // The verdict was about the text before the edit.
    connect(findEdit_, &QLineEdit::textEdited, this, [this] {
        cancelFind();
        showNotFound(false);
    });
    auto* close = new QAction(findEdit_);
    close->setShortcut(Qt::Key_Escape);
    close->setShortcutContext(Qt::WidgetShortcut);
    findEdit_->addAction(close);
    connect(close, &QAction::triggered, this, [this] {
        cancelFind();
        findBar_->hide();
        setFocus();
    });
}

// Black on the pale red whatever the theme: a dark theme's light text would not read on it.
void ReceiveView::showNotFound(bool notFound) {
    findEdit_->setStyleSheet(
        notFound ? QStringLiteral("QLineEdit { background: #ffd0d0; color: black; }") : QString());
}

// ---- Data ----

void ReceiveView::appendReceived(QByteArrayView bytes) {
    const int64_t now = clock_();
    const bool afterQuiet = !lastArrivalMs_ || now - *lastArrivalMs_ > quietMs_;
    lastArrivalMs_ = now;
    const bool following = follow_;
    const std::optional<uint64_t> top = topInSight();
    // Rows before the last one stay as they are, unless older bytes leave.
    const uint64_t lastBegin = layout_.rowBegin(layout_.rowCount() - 1);
    const uint64_t droppedBefore = store_.droppedBytes();

    store_.append(bytes, afterQuiet ? std::optional(now) : std::nullopt);
    // Past the limit by more than an empty last row, the lines need not be counted to the end.
    const bool laidOut =
        layout_.update(lineLimit_ ? *lineLimit_ + 1 : std::numeric_limits<qsizetype>::max());
    if (lineLimit_ && (!laidOut || lineCount() > *lineLimit_)) {
        clearReceived();
        return;
    }
    const uint64_t begin = layout_.bytes().begin();
    anchor_ = std::max(anchor_, begin);
    caret_ = std::max(caret_, begin);
    updateScrollRange();
    if (following) {
        scrollToNewest();
    } else {
        // What the user looks at stays in sight while older rows leave above it.
        scrollTopTo(top);
        newDataHint_->show();
    }
    if (store_.droppedBytes() != droppedBefore) {
        viewport()->update();
        return;
    }
    // Scrolling moved what was painted; only the rows that changed or came are painted anew.
    const qsizetype changed = layout_.rowAt(lastBegin) - firstPaintedRow();
    const int y = int(std::max<qsizetype>(0, changed)) * lineHeight_;
    if (y < viewport()->height())
        viewport()->update(0, y, viewport()->width(), viewport()->height() - y);
}

void ReceiveView::clearReceived() {
    cancelFind();
    store_.clear();
    lastArrivalMs_.reset();
    anchor_ = caret_ = 0;
    follow_ = true;
    newDataHint_->hide();
    relayout();
}

void ReceiveView::setLineLimit(std::optional<qsizetype> lines) {
    lineLimit_ = lines;
}

void ReceiveView::forgetPartialCharacter() {
    store_.forgetPartialCharacter();
}

void ReceiveView::setHexDisplay(bool hex) {
    if (hexDisplay() == hex) return;
    // A search's offsets are those of the form it began in.
    cancelFind();
    // Hexadecimal rows show the bytes alone; the text is decoded when it is shown again.
    store_.setTextWanted(!hex);
    ReceiveLayoutOptions options = layout_.options();
    options.mode = hex ? ReceiveMode::Hex : ReceiveMode::Text;
    layout_.setOptions(options);
    anchor_ = caret_ = layout_.bytes().end();
    relayout();
}

bool ReceiveView::hexDisplay() const {
    return layout_.options().mode == ReceiveMode::Hex;
}

void ReceiveView::setStampsShown(bool shown) {
    stampsShown_ = shown;
    StampsAction->setChecked(shown);
    relayout();
}

void ReceiveView::setStampQuietMs(int quietMs) {
    quietMs_ = std::max(1, quietMs);
}

void ReceiveView::setClock(std::function<int64_t()> msSinceEpoch) {
    clock_ = std::move(msSinceEpoch);
}

void ReceiveView::setHexBytesPerRow(int bytes) {
    ReceiveLayoutOptions options = layout_.options();
    options.hexBytesPerRow = bytes;
    layout_.setOptions(options);
    (bytes == 16 ? Rows16Action : bytes == 32 ? Rows32Action : FitRowsAction)->setChecked(true);
    relayout();
}

qsizetype ReceiveView::lineCount() const {
    const qsizetype rows = layout_.rowCount();
    const bool emptyLast = layout_.rowBegin(rows - 1) == layout_.bytes().end();
    return rows - layout_.markerRows() - (emptyLast ? 1 : 0);
}

QString ReceiveView::textOf(uint64_t from, uint64_t to) const {
    const QByteArray bytes = layout_.bytes().slice(from, to);
    return hexDisplay() ? HexPairs(bytes) : QString::fromUtf8(bytes);
}

QString ReceiveView::allText() const {
    return textOf(layout_.bytes().begin(), layout_.bytes().end());
}

QString ReceiveView::selectedText() const {
    const auto [from, to] = selection();
    return textOf(from, to);
}

std::pair<uint64_t, uint64_t> ReceiveView::selection() const {
    return {std::min(anchor_, caret_), std::max(anchor_, caret_)};
}

void ReceiveView::select(uint64_t from, uint64_t to) {
    const ChunkedBytes& bytes = layout_.bytes();
    anchor_ = std::clamp(from, bytes.begin(), bytes.end());
    caret_ = std::clamp(to, bytes.begin(), bytes.end());
    showRow(layout_.rowAt(caret_));
    viewport()->update();
}

bool ReceiveView::newDataHintShown() const {
    return !newDataHint_->isHidden();
}

QByteArray ReceiveView::findPattern(const QString& needle) const {
    if (!hexDisplay()) return needle.toUtf8();
    QString digits = needle;
    digits.remove(QRegularExpression(QStringLiteral("[^0-9A-Fa-f]")));
    if (digits.size() % 2 != 0) return {};
    return QByteArray::fromHex(digits.toLatin1());
}

void ReceiveView::find(const QString& needle, bool backwards) {
    cancelFind();
    const QByteArray pattern = findPattern(needle);
    if (pattern.isEmpty()) {
        emit findFinished(false);
        return;
    }
    const auto [from, to] = selection();
    search_.emplace(
        layout_.bytes(), pattern,
        backwards ? ChunkedSearch::Direction::Backward : ChunkedSearch::Direction::Forward,
        backwards ? from : to);
    FindTimer->start();
}

void ReceiveView::continueFind() {
    if (!search_) return;
    const ChunkedSearch::State state = search_->step(FindSliceBytes);
    if (state == ChunkedSearch::State::Running) return;
    const uint64_t hit = search_->hit();
    const auto length = uint64_t(search_->needleSize());
    cancelFind();
    const bool found = state == ChunkedSearch::State::Found;
    if (found) select(hit, hit + length);
    emit findFinished(found);
}

void ReceiveView::cancelFind() {
    FindTimer->stop();
    search_.reset();
}

std::optional<QString> ReceiveView::save(const QString& path, SaveFormat format) {
    if (format == SaveFormat::Text) store_.bringTextUpToDate();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    const ChunkedBytes& bytes = format == SaveFormat::Text ? store_.text() : store_.raw();
    for (uint64_t at = bytes.begin(); at < bytes.end(); at += kSaveSlice) {
        const QByteArray slice = bytes.slice(at, at + kSaveSlice);
        if (format == SaveFormat::Hex) {
            if (at > bytes.begin()) file.write(" ");
            file.write(slice.toHex(' ').toUpper());
        } else {
            file.write(slice);
        }
    }
    if (!file.commit()) return file.errorString();
    return std::nullopt;
}

void ReceiveView::askSavePath() {
    const QString raw = Tr("Received bytes (*.bin)", "接收的字节 (*.bin)");
    const QString text = Tr("Text as shown (*.txt)", "显示的文本 (*.txt)");
    const QString hex = Tr("Hexadecimal text (*.hex)", "十六进制文本 (*.hex)");
    QString chosen = raw;
    const QString path =
        QFileDialog::getSaveFileName(this, Tr("Save Received Data", "保存接收数据"), QString(),
                                     raw + ";;" + text + ";;" + hex, &chosen);
    if (path.isEmpty()) return;
    const SaveFormat format = chosen == text  ? SaveFormat::Text
                              : chosen == hex ? SaveFormat::Hex
                                              : SaveFormat::Raw;
    if (const auto error = save(path, format)) ShowLocalized(kSaveFailed, *error);
}

void ReceiveView::askQuietTime() {
    bool ok = false;
    const int ms =
        QInputDialog::getInt(this, Tr("Time Stamps", "时间戳"),
                             Tr("A new row with its time after this many ms without data:",
                                "无数据超过此毫秒数后，新起一行并标注时间："),
                             quietMs_, 1, 3600000, 10, &ok);
    if (ok) setStampQuietMs(ms);
}

// ---- Layout and scrolling ----

double ReceiveView::advance(char32_t cp) const {
    if (cp < asciiAdvance_.size()) return asciiAdvance_[cp];
    auto known = otherAdvance_.constFind(cp);
    if (known != otherAdvance_.cend()) return *known;
    const double width = QFontMetricsF(font_).horizontalAdvance(Shown(cp));
    otherAdvance_.insert(cp, width);
    return width;
}

double ReceiveView::prefixWidth() const {
    int chars = stampsShown_ ? kStampChars : 0;
    if (hexDisplay() && layout_.options().hexBytesPerRow > 0) chars += kOffsetChars;
    return chars * charWidth_;
}

void ReceiveView::relayout() {
    ReceiveLayoutOptions options = layout_.options();
    options.width = std::max(charWidth_, viewport()->width() - 2 * kMargin - prefixWidth());
    options.charWidth = charWidth_;
    options.stamps = stampsShown_;
    const std::optional<uint64_t> top = topInSight();
    layout_.setOptions(options);
    updateScrollRange();
    if (follow_) {
        scrollToNewest();
    } else {
        scrollTopTo(top);
    }
    viewport()->update();
}

qsizetype ReceiveView::firstPaintedRow() const {
    return verticalScrollBar()->value();
}

int ReceiveView::rowsInSight() const {
    return std::max(1, viewport()->height() / lineHeight_);
}

void ReceiveView::updateScrollRange() {
    const int page = rowsInSight();
    verticalScrollBar()->setPageStep(page);
    verticalScrollBar()->setRange(0, int(std::max<qsizetype>(0, layout_.rowCount() - page)));
}

void ReceiveView::scrollToNewest() {
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    follow_ = true;
    newDataHint_->hide();
}

void ReceiveView::showRow(qsizetype row) {
    // The first row of bytes comes into sight with the marker row above it, room permitting.
    if (row == layout_.markerRows() && rowsInSight() > row) row = 0;
    const qsizetype top = firstPaintedRow();
    if (row < top) {
        verticalScrollBar()->setValue(int(row));
    } else if (row >= top + rowsInSight()) {
        verticalScrollBar()->setValue(int(row - rowsInSight() + 1));
    }
}

std::optional<uint64_t> ReceiveView::topInSight() const {
    const qsizetype top = std::min(firstPaintedRow(), layout_.rowCount() - 1);
    if (layout_.isMarkerRow(top)) return std::nullopt;
    return layout_.rowBegin(top);
}

void ReceiveView::scrollTopTo(std::optional<uint64_t> top) {
    // Once the bytes at the top have left, the marker row that counts them takes their place.
    const bool left = !top || *top < layout_.bytes().begin();
    verticalScrollBar()->setValue(left ? 0 : int(layout_.rowAt(*top)));
}

void ReceiveView::scrollContentsBy(int, int dy) {
    viewport()->scroll(0, dy * lineHeight_);
}

void ReceiveView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    relayout();
    const QSize hint = newDataHint_->sizeHint();
    newDataHint_->move(viewport()->width() - hint.width() - kMargin,
                       viewport()->height() - hint.height() - kMargin);
    newDataHint_->resize(hint);
    const int barWidth = std::min(width(), 360);
    findBar_->setGeometry(width() - barWidth, 0, barWidth, findBar_->sizeHint().height());
}

// ---- Painting ----

QString ReceiveView::prefixOf(qsizetype row) const {
    QString prefix;
    if (stampsShown_) {
        const auto stamp = layout_.rowStamp(row);
        prefix +=
            stamp
                ? QDateTime::fromMSecsSinceEpoch(*stamp).toString(QStringLiteral("[hh:mm:ss.zzz] "))
                : QString(kStampChars, u' ');
    }
    if (hexDisplay() && layout_.options().hexBytesPerRow > 0) {
        prefix +=
            QStringLiteral("%1  ").arg(layout_.rowBegin(row), 8, 16, QLatin1Char('0')).toUpper();
    }
    return prefix;
}

QString ReceiveView::markerText() const {
    return Tr("\u2026 %1 earlier bytes not kept", "\u2026 之前的 %1 字节未保留")
        .arg(store_.droppedBytes());
}

QString ReceiveView::paintedRowText(qsizetype row) const {
    if (layout_.isMarkerRow(row)) return markerText();
    return prefixOf(row) + rowText(row);
}

QString ReceiveView::rowText(qsizetype row) const {
    const uint64_t begin = layout_.rowBegin(row);
    const uint64_t end = layout_.rowEnd(row);
    if (hexDisplay()) return HexPairs(store_.raw().slice(begin, end));
    QString shown;
    ForEachCodePoint(store_.text(), begin, end, [&](char32_t cp, uint64_t) {
        shown += Shown(cp);
        return true;
    });
    return shown;
}

double ReceiveView::xOf(qsizetype row, uint64_t offset) const {
    const uint64_t begin = layout_.rowBegin(row);
    if (hexDisplay()) return double(offset - begin) * 3 * charWidth_;
    double x = 0;
    ForEachCodePoint(store_.text(), begin, offset, [&](char32_t cp, uint64_t) {
        x += advance(cp);
        return true;
    });
    return x;
}

uint64_t ReceiveView::offsetAt(qsizetype row, double x) const {
    const uint64_t begin = layout_.rowBegin(row);
    const uint64_t end = layout_.rowEnd(row);
    if (hexDisplay()) {
        const auto pair = uint64_t(std::max(0.0, (x + charWidth_) / (3 * charWidth_)));
        return std::min(begin + pair, end);
    }
    double left = 0;
    uint64_t hit = end;
    ForEachCodePoint(store_.text(), begin, end, [&](char32_t cp, uint64_t at) {
        const double width = advance(cp);
        if (x < left + width / 2) {
            hit = at;
            return false;
        }
        left += width;
        return true;
    });
    return hit;
}

uint64_t ReceiveView::offsetAtPoint(const QPoint& point) const {
    const qsizetype row = std::clamp<qsizetype>(firstPaintedRow() + point.y() / lineHeight_, 0,
                                                layout_.rowCount() - 1);
    return offsetAt(row, point.x() - kMargin - prefixWidth());
}

void ReceiveView::drawRow(QPainter& painter, const QPointF& at, const QString& shown) const {
    // Printable ASCII, all hexadecimal rows among them, goes straight to the font's glyphs:
    // laying the text out again on every paint is what would cost most.
    QList<quint32> glyphs;
    QList<QPointF> positions;
    glyphs.reserve(shown.size());
    positions.reserve(shown.size());
    double x = 0;
    for (const QChar c : shown) {
        const char16_t unit = c.unicode();
        if (unit < 0x20 || unit > 0x7E || asciiGlyphs_[unit] == 0) {
            painter.drawText(at, shown);
            return;
        }
        glyphs << asciiGlyphs_[unit];
        positions << QPointF(x, 0);
        x += asciiAdvance_[unit];
    }
    QGlyphRun run;
    run.setRawFont(rawFont_);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    painter.drawGlyphRun(at, run);
}

void ReceiveView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect dirty = event->rect();
    painter.fillRect(dirty, palette().base());
    const QFontMetrics metrics(font_);
    const auto [selectedFrom, selectedTo] = selection();
    const double contentX = kMargin + prefixWidth();
    for (int i = dirty.top() / lineHeight_; i <= dirty.bottom() / lineHeight_; ++i) {
        const qsizetype row = firstPaintedRow() + i;
        if (row >= layout_.rowCount()) break;
        const int top = i * lineHeight_;
        const int baseline = top + metrics.ascent();
        painter.setPen(palette().color(QPalette::PlaceholderText));
        if (layout_.isMarkerRow(row)) {
            painter.drawText(kMargin, baseline, markerText());
            continue;
        }
        painter.drawText(kMargin, baseline, prefixOf(row));
        const uint64_t begin = layout_.rowBegin(row);
        const uint64_t end = layout_.rowEnd(row);
        const QString shown = rowText(row);
        painter.setPen(palette().color(QPalette::Text));
        drawRow(painter, QPointF(contentX, baseline), shown);
        if (selectedFrom < selectedTo && selectedFrom <= end && selectedTo > begin) {
            const double from = xOf(row, std::max(selectedFrom, begin));
            // A selection that goes on past the row's end takes its line break with it.
            const double to =
                xOf(row, std::min(selectedTo, end)) + (selectedTo > end ? charWidth_ : 0);
            const QRectF marked(contentX + from, top, to - from, lineHeight_);
            painter.fillRect(marked, palette().highlight());
            painter.save();
            painter.setClipRect(marked);
            painter.setPen(palette().color(QPalette::HighlightedText));
            drawRow(painter, QPointF(contentX, baseline), shown);
            painter.restore();
        }
        if (hasFocus() && caret_ >= begin && caret_ <= end && layout_.rowAt(caret_) == row) {
            const double x = contentX + xOf(row, caret_);
            painter.drawLine(QPointF(x, top), QPointF(x, top + lineHeight_ - 1));
        }
    }
}

// ---- Keyboard and mouse ----

uint64_t ReceiveView::stepBack(uint64_t offset) const {
    const ChunkedBytes& bytes = layout_.bytes();
    if (offset <= bytes.begin()) return bytes.begin();
    --offset;
    // Back over the continuation bytes of a character, to its first byte.
    while (!hexDisplay() && offset > bytes.begin() &&
           (static_cast<unsigned char>(bytes.at(offset)) & 0xC0) == 0x80) {
        --offset;
    }
    return offset;
}

uint64_t ReceiveView::stepForward(uint64_t offset) const {
    const ChunkedBytes& bytes = layout_.bytes();
    if (offset >= bytes.end()) return bytes.end();
    if (hexDisplay()) return offset + 1;
    return std::min(bytes.end(), offset + uint64_t(CodePointAt(bytes, offset).second));
}

void ReceiveView::moveCaret(uint64_t offset, bool extend) {
    caret_ = offset;
    if (!extend) anchor_ = caret_;
    showRow(layout_.rowAt(caret_));
    viewport()->update();
}

void ReceiveView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) return CopyAction->trigger();
    if (event->matches(QKeySequence::SelectAll)) return SelectAllAction->trigger();
    if (event->matches(QKeySequence::Find)) return FindAction->trigger();
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const bool whole = event->modifiers() & Qt::ControlModifier;
    const ChunkedBytes& bytes = layout_.bytes();
    const qsizetype row = layout_.rowAt(caret_);
    const auto toRow = [&](qsizetype target) {
        target = std::clamp<qsizetype>(target, 0, layout_.rowCount() - 1);
        return offsetAt(target, xOf(row, caret_));
    };
    switch (event->key()) {
        case Qt::Key_Left:
            return moveCaret(stepBack(caret_), extend);
        case Qt::Key_Right:
            return moveCaret(stepForward(caret_), extend);
        case Qt::Key_Up:
            return moveCaret(toRow(row - 1), extend);
        case Qt::Key_Down:
            return moveCaret(toRow(row + 1), extend);
        case Qt::Key_PageUp:
            return moveCaret(toRow(row - rowsInSight()), extend);
        case Qt::Key_PageDown:
            return moveCaret(toRow(row + rowsInSight()), extend);
        case Qt::Key_Home:
            return moveCaret(whole ? bytes.begin() : layout_.rowBegin(row), extend);
        case Qt::Key_End:
            return moveCaret(whole ? bytes.end() : layout_.rowEnd(row), extend);
        default:
            QAbstractScrollArea::keyPressEvent(event);
    }
}

void ReceiveView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    moveCaret(offsetAtPoint(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
}

void ReceiveView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    moveCaret(offsetAtPoint(event->position().toPoint()), true);
}

void ReceiveView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addActions({CopyAction, SelectAllAction, FindAction, SaveAction});
    menu.addSeparator();
    menu.addActions({FitRowsAction, Rows16Action, Rows32Action});
    menu.addSeparator();
    menu.addActions({StampsAction, QuietTimeAction});
    menu.exec(event->globalPos());
}
