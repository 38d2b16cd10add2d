#pragma once

#include <QLabel>

// A bevelled panel that serves as a label, a status cell or a push button. Being a label, it
// names the control beside it for a screen reader once that control is its buddy.
class TPanel : public QLabel {
    Q_OBJECT
  public:
    explicit TPanel(const QString& objectName, const QString& caption, QWidget* parent = nullptr);

    // Raised looks like a button at rest, lowered like a pressed one.
    bool isLowered() const { return frameShadow() == QFrame::Sunken; }
    void setLowered(bool lowered) { setFrameShadow(lowered ? QFrame::Sunken : QFrame::Raised); }

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// Sets the visible caption of a label, button, check box, group box or panel.
void SetCaption(QObject* control, const QString& caption);
// The visible caption of the same kinds of control.
QString CaptionOf(const QObject* control);
