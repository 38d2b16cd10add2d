#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QWidget>
#include <functional>

#include "records/recorddatabase.h"
#include "records/recordstore.h"

// The production window's history: the records of the database, filtered by date, result, ID
// and model, newest first, and written out as CSV.
class TFormProductionHistory : public QWidget {
    Q_OBJECT
  public:
    enum Column {
        TimeColumn,
        StationColumn,
        PortColumn,
        ModelColumn,
        FirmwareColumn,
        IdColumn,
        ResultColumn,
        ReasonColumn,
        ColumnCount
    };

    // `store` gives the store the production window has open, null when none is.
    TFormProductionHistory(std::function<RecordStore*()> store, QWidget* parent);

    QCheckBox* CheckSince;
    QDateEdit* DateSince;
    QComboBox* ComboResult;
    QLineEdit* EditId;
    QSpinBox* SpinModel;
    QPushButton* ButtonShow;
    QPushButton* ButtonExport;
    QTableWidget* Table;
    QLabel* LabelState;

    // Asks where to write the CSV; empty when the user cancels.
    std::function<QString()> ChooseExportFile;

    HistoryFilter filterFromControls() const;
    void ButtonShowClick();
    void ButtonExportClick();
    const QList<RadioRecord>& shown() const { return records_; }

  signals:
    void shownChanged();

  private:
    void showAnswer(const HistoryAnswer& answer);

    std::function<RecordStore*()> store_;
    QList<RadioRecord> records_;
};
