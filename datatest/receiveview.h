#pragma once

#include <QAbstractScrollArea>
#include <QByteArrayView>
#include <QFont>
#include <QHash>
#include <QRawFont>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "datatest/receivelayout.h"
#include "datatest/receivesearch.h"
#include "datatest/receivestore.h"

class QAction;
class QActionGroup;
class QLineEdit;
class QPainter;
class QTimer;
class QToolButton;

// The receive area: keeps what arrived (the newest 16 MiB) and paints only the rows in sight,
// as text or as hexadecimal pairs. Rows break where line breaks arrived, where a row is full
// and, with time stamps, where a burst came after a quiet spell; none of these breaks is added
// to what is copied, found, saved or read out to a screen reader.
class ReceiveView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    enum class SaveFormat { Raw, Text, Hex };

    // Keeps the newest `capacity` bytes received.
    explicit ReceiveView(QWidget* parent = nullptr,
                         int64_t capacity = ReceiveStore::DefaultCapacity);

    // One tick's reads.
    void appendReceived(QByteArrayView bytes);
    void clearReceived();
    // Bytes stop being shown (and may be missed): a character they began is not completed.
    void forgetPartialCharacter();
    // With a limit, an append that takes the view past that many lines empties it, the
    // append's own data with it.
    void setLineLimit(std::optional<qsizetype> lines);
    void setHexDisplay(bool hex);
    bool hexDisplay() const;

    // Rows the view holds; an empty row after a final line break is none.
    qsizetype lineCount() const;
    // Everything kept, as it is copied: the text, or hexadecimal pairs with single spaces.
    QString allText() const;
    QString selectedText() const;
    // The selection in the offsets of what is shown (text or bytes), from..to.
    void select(uint64_t from, uint64_t to);
    std::pair<uint64_t, uint64_t> selection() const;
    const ReceiveStore& store() const { return store_; }
    // The rows as painted: the marker row first when there is one.
    const ReceiveLayout& layout() const { return layout_; }
    // What a row shows: the marker's text, or its stamp or offset and its content.
    QString paintedRowText(qsizetype row) const;
    // The marker row's text: how many received bytes were let go.
    QString markerText() const;
    // The rows in sight are the newest, and stay so while data arrive.
    bool followsNewest() const { return follow_; }
    bool newDataHintShown() const;

    // Starts looking for `needle` (text, or hexadecimal digits in hexadecimal display) after
    // the selection, or before it, going round the end, in place of a search still running.
    // FindTimer runs it a slice at a time; a match is selected and shown, and findFinished
    // says whether there was one.
    void find(const QString& needle, bool backwards = false);
    // Looks through the next slice of a running search.
    void continueFind();
    void cancelFind();
    bool findRunning() const { return search_.has_value(); }
    // Bytes a slice looks at: about a millisecond's work, between which the window's events
    // are served.
    static constexpr qsizetype FindSliceBytes = 1024 * 1024;
    // Writes what is kept to `path`; the error's text when it cannot.
    std::optional<QString> save(const QString& path, SaveFormat format);

    // Time stamps: a burst that arrives after more than `quietMs` without data starts a row
    // headed by its local time. The clock gives milliseconds since the epoch.
    void setStampsShown(bool shown);
    void setStampQuietMs(int quietMs);
    int stampQuietMs() const { return quietMs_; }
    void setClock(std::function<int64_t()> msSinceEpoch);
    // Hexadecimal rows hold this many bytes with their offsets, or fit the width when 0.
    void setHexBytesPerRow(int bytes);

    // What a user can do here, also offered by the main window's menus.
    QAction* CopyAction;
    QAction* SelectAllAction;
    QAction* FindAction;
    QAction* SaveAction;
    QAction* FitRowsAction;
    QAction* Rows16Action;
    QAction* Rows32Action;
    QAction* StampsAction;
    QAction* QuietTimeAction;
    // Calls continueFind() whenever the event loop is idle while a search runs.
    QTimer* FindTimer;

  signals:
    void findFinished(bool found);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    void buildActions();
    void buildFindBar();
    void askSavePath();
    void askQuietTime();

    // Lays out anew for the current width, mode and options.
    void relayout();
    void updateScrollRange();
    void scrollToNewest();
    void showRow(qsizetype row);
    // What the top row in sight shows, to keep in sight while rows change: the offset its
    // bytes begin at, or nothing for the marker row.
    std::optional<uint64_t> topInSight() const;
    void scrollTopTo(std::optional<uint64_t> top);

    qsizetype firstPaintedRow() const;
    int rowsInSight() const;
    double prefixWidth() const;
    QString prefixOf(qsizetype row) const;
    // The row's content as painted, with control characters made visible.
    QString rowText(qsizetype row) const;
    // Pixel position of `offset` within its row's content, and the offset nearest to `x`.
    double xOf(qsizetype row, uint64_t offset) const;
    uint64_t offsetAt(qsizetype row, double x) const;
    uint64_t offsetAtPoint(const QPoint& point) const;
    uint64_t stepBack(uint64_t offset) const;
    uint64_t stepForward(uint64_t offset) const;
    void moveCaret(uint64_t offset, bool extend);
    QString textOf(uint64_t from, uint64_t to) const;
    // The bytes the find field's text stands for; none when it stands for nothing.
    QByteArray findPattern(const QString& needle) const;
    // The find field turns red when what it holds was not found.
    void showNotFound(bool notFound);

    double advance(char32_t cp) const;
    void drawRow(QPainter& painter, const QPointF& at, const QString& shown) const;

    ReceiveStore store_;
    ReceiveLayout layout_;
    QFont font_;
    double charWidth_ = 1;
    int lineHeight_ = 1;
    std::array<double, 128> asciiAdvance_{};
    QRawFont rawFont_;
    std::array<quint32, 128> asciiGlyphs_{};  // 0 where the font has no glyph
    mutable QHash<char32_t, double> otherAdvance_;

    uint64_t anchor_ = 0;
    uint64_t caret_ = 0;
    bool follow_ = true;
    bool stampsShown_ = false;
    int quietMs_ = 100;
    std::optional<qsizetype> lineLimit_;
    std::optional<int64_t> lastArrivalMs_;
    std::function<int64_t()> clock_;
    std::optional<ChunkedSearch> search_;

    QToolButton* newDataHint_;
    QWidget* findBar_;
    QLineEdit* findEdit_;
    QActionGroup* rowsGroup_;
};
