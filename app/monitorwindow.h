#pragma once

#include <QAbstractTableModel>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "monitor/exchangelog.h"
#include "serial/seriallink.h"

// The exchange log's rows as a table; it follows the log when told to.
class ExchangeTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // Holds the row's direction as "TX", "RX" or "" for the filter.
    static constexpr int DirectionRole = Qt::UserRole;

    explicit ExchangeTableModel(const ExchangeLog& log, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Takes in the rows added and drops those that left since the last call.
    void follow();
    // The log was emptied.
    void reset();
    // The log's row shown at `row`, or null.
    const ExchangeRow* rowAt(int row) const;
    // The row shown before it in the log, for the time between them.
    const ExchangeRow* rowBefore(int row) const;

  private:
    const ExchangeLog& log_;
    uint64_t firstShown_ = 0;  // the log's number of the first row shown
    int shown_ = 0;
};

// The exchange monitor: one row per command frame sent and per reply, with the bytes around
// them, purges and the serial setting of every search attempt. It has the link fill `log`
// while it is open; while it is closed (or not yet built) the link fills `whileClosed` with the
// last rows of the radio's exchanges alone, and the monitor shows them first when it opens.
class TFormMonitor : public QWidget {
    Q_OBJECT
  public:
    // Microseconds since the Unix epoch.
    using Clock = std::function<int64_t()>;
    static constexpr size_t KeptRowsWhileClosed = 1000;

    // `whileClosed` already watches the link's exchanges when the monitor is built.
    TFormMonitor(ExchangeLog& log, ExchangeLog& whileClosed, SerialLink& link,
                 QWidget* parent = nullptr);

    QComboBox* DirectionFilter;
    QPushButton* CopyButton;
    QPushButton* SaveButton;
    QPushButton* ClearButton;
    QLabel* RowsLabel;
    QTableView* Rows;
    QTimer* MonitorTimer;
    ExchangeTableModel* Model;
    QSortFilterProxyModel* Filtered;

    void setClock(Clock clock) { clock_ = std::move(clock); }

    // Ends rows that have waited long enough and shows what is new.
    void MonitorTimerTimer();
    // The rows selected (all shown when none is), as copied: one line each, cells by tabs.
    QString selectedText() const;
    // The rows the filter shows, with a heading line.
    bool saveRows(const QString& path) const;

    void CopyButtonClick();
    void SaveButtonClick();
    void ClearButtonClick();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    QString rowText(int filteredRow) const;
    void showCounts();

    ExchangeLog& log_;
    ExchangeLog& kept_;  // while closed
    SerialLink& link_;
    Clock clock_;
};
