#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QString>
#include <QWidget>

// Tells the user how far an exchange with the radio has got. It cannot be closed by the user
// and does not block the other windows.
class TForm_Progress : public QWidget {
    Q_OBJECT
  public:
    explicit TForm_Progress(QWidget* parent = nullptr);

    QLabel* Label1;
    QProgressBar* ProgressBar1;

  protected:
    void closeEvent(QCloseEvent* event) override;
};

void ShowProgress(const QString& title, const QString& message, int maximum);
// Out-of-range positions show as an empty or a full bar.
void SetProgress(int position);
void CloseProgress();
