#pragma once

#include <QFrame>
#include <QLabel>

// A bevelled panel that serves as a label, a status cell or a push button.
class TPanel : public QFrame {
    Q_OBJECT
  public:
    explicit TPanel(const QString& objectName, const QString& caption, QWidget* parent = nullptr);

    QString caption() const { return label_->text(); }
    void setCaption(const QString& caption) { label_->setText(caption); }
    QLabel* label() const { return label_; }

    // Raised looks like a button at rest, lowered like a pressed one.
    bool isLowered() const { return frameShadow() == QFrame::Sunken; }
    void setLowered(bool lowered) { setFrameShadow(lowered ? QFrame::Sunken : QFrame::Raised); }

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QLabel* label_;
};

// Sets the visible caption of a label, button, check box, group box or panel.
void SetCaption(QObject* control, const QString& caption);
// The visible caption of the same kinds of control.
QString CaptionOf(const QObject* control);
