#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

#include "app/aboutbox.h"
#include "app/contrast.h"
#include "app/mainwindow.h"
#include "app/windows.h"
#include "core/language.h"
#include "tests/support/palettes.h"

// The main window's and the About box's texts read on their grounds, as drawn, in a light theme and
// after the desktop turns dark while the program runs.
class ThemeContrastTest : public QObject {
    Q_OBJECT

    struct Shown {
        QString name;
        double contrast;
    };

    // The most frequent colour of the area is its ground; the text is the pixel that differs
    // most from it (a glyph's stems are whole pixels of the text's colour).
    static double DrawnContrast(const QImage& image, const QRect& area) {
        QHash<QRgb, int> counts;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) ++counts[image.pixel(x, y)];
        QRgb ground = 0;
        int most = -1;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            if (it.value() > most) {
                most = it.value();
                ground = it.key();
            }
        }
        double contrast = 1;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            contrast = std::max(contrast, ContrastRatio(QColor(it.key()), QColor(ground)));
        return contrast;
    }

    // Where each shown, enabled text of the window is drawn, in the window's coordinates.
    static QList<std::pair<QWidget*, QRect>> TextAreas(QWidget* window) {
        QList<std::pair<QWidget*, QRect>> areas;
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            if (!widget->isVisibleTo(window) || !widget->isEnabled()) continue;
            const QPoint at = widget->mapTo(window, QPoint(0, 0));
            if (auto* label = qobject_cast<QLabel*>(widget)) {
                if (!label->text().trimmed().isEmpty())
                    areas.append({widget, label->contentsRect().translated(at)});
            } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
                const int indicator = box->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                                      box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
                areas.append({widget, box->rect().adjusted(indicator, 0, 0, 0).translated(at)});
            } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
                const QFontMetrics title(group->font());
                areas.append({widget, QRect(at, QSize(title.horizontalAdvance(group->title()) + 16,
                                                      title.height()))});
            } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
                if (!list->currentText().isEmpty())
                    areas.append({widget, widget->rect().adjusted(4, 4, -4, -4).translated(at)});
            } else if (qobject_cast<QPushButton*>(widget)) {
                areas.append({widget, widget->rect().adjusted(4, 4, -4, -4).translated(at)});
            }
        }
        return areas;
    }

    // Both windows of the program that have colours of their own.
    static QStringList Unreadable() {
        QStringList faults;
        for (QWidget* window : {static_cast<QWidget*>(Form1), static_cast<QWidget*>(AboutBox)})
            faults << Unreadable(window);
        return faults;
    }

    static QStringList Unreadable(QWidget* window) {
        const QImage image = window->grab().toImage();
        QStringList faults;
        for (const auto& [widget, area] : TextAreas(window)) {
            const double contrast = DrawnContrast(image, area);
            if (contrast < ReadableContrast)
                faults
                    << QStringLiteral("%1 %2:1").arg(widget->objectName()).arg(contrast, 0, 'f', 2);
        }
        return faults;
    }

  private slots:
    void initTestCase() {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        LanguageFlag = 1;
        CreateWindows();
        Form1->Timer1->stop();
        // Values in the lists and the statistics row shown, so that their texts are drawn.
        for (QComboBox* list :
             {Form1->ComboChnn, Form1->ComboRadioSerBaud, Form1->ComboRadioParity})
            list->setCurrentIndex(1);
        Form1->Panel11Click();
        Form1->Panel10Click();
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        AboutBox->show();
        QVERIFY(QTest::qWaitForWindowExposed(AboutBox));
    }

    void lightThemeReads() {
        QVERIFY(TextAreas(Form1).size() > 30);
        QVERIFY(TextAreas(AboutBox).size() >= 5);
        const QStringList faults = Unreadable();
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral(", "))));
    }

    void darkThemeReads() {
        QApplication::setPalette(DarkPalette());
        QCoreApplication::processEvents();
        QCOMPARE(Form1->palette().color(QPalette::Window), QColor(0x35, 0x35, 0x35));
        const QStringList faults = Unreadable();
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral(", "))));
    }
};

QTEST_MAIN(ThemeContrastTest)
#include "test_theme_contrast.moc"
