#include "aboutwin.h"
#include "boxwin.h"
#include "configwin.h"
#include "highscorelist.h"
#include "mainwindow.h"
#include "scorewin.h"
#include "testfolder.h"
#include "textfit.h"

#include <QtTest>

namespace {

// Names the widgets whose text does not fit, with the pixels missing across and down.
QStringList CutTexts(QWidget *window)
{
    QStringList cut;
    QList<QWidget *> widgets = window->findChildren<QWidget *>();
    widgets.prepend(window);
    for (const QWidget *widget : widgets) {
        const QSize missing = TextShortfall(widget);
        if (widget->isVisibleTo(window) && missing != QSize(0, 0))
            cut << window->objectName() + '.' + widget->objectName()
                    + QStringLiteral(" %1x%2").arg(missing.width()).arg(missing.height());
    }
    return cut;
}

} // namespace

// Every text of every window whole at the fonts and scales desktops use, and the forms as drawn
// wherever their texts fit.
class TestLooks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textsWhole_data();
    void textsWhole();
    void drawnWhereTextsFit();

private:
    TestFolder folder;
};

void TestLooks::textsWhole_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("points");
    for (const char *family : {"DejaVu Sans", "Liberation Sans"})
        for (const int points : {9, 10, 11, 12})
            QTest::addRow("%s %d pt", family, points) << QString::fromLatin1(family) << points;
}

void TestLooks::textsWhole()
{
    QFETCH(QString, family);
    QFETCH(int, points);
    QApplication::setFont(QFont(family, points));
    QCOMPARE(QFontInfo(QApplication::font()).family(), family); // the font itself, not a stand-in

    MainWindow main;
    ConfigWin config;
    AboutWin about;
    ScoreWin scores;
    HighscoreList list;
    list.Insert(QStringLiteral("Anna-Lena Müller-Lüdenscheidt (linke Hand, nach dem Kaffee)"), 231);
    scores.ShowList(&list);
    QStringList cut;
    for (QWidget *window : std::initializer_list<QWidget *> {&main, &config, &about, &scores}) {
        window->show();
        cut << CutTexts(window);
    }
    BoxWin box;
    box.show();
    for (const QString &message : BoxText::All) {
        box.SetMessage(message);
        cut << CutTexts(&box);
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral(", "))));
    QVERIFY(scores.tableView->width() > scores.width() * 3 / 4); // without a class's list, all its own

    // A font changed while a window is open fits it again.
    QApplication::setFont(QFont(family, points + 4));
    QTRY_VERIFY2((cut = CutTexts(&main)).isEmpty(), qPrintable(cut.join(QStringLiteral(", "))));
}

// At Qt's own default font the texts fit as drawn: nothing moves. The form unfitted, at a font a
// desktop may choose, cuts what users saw cut.
void TestLooks::drawnWhereTextsFit()
{
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    MainWindow main;
    QWidget drawn;
    Ui_Form form;
    form.setupUi(&drawn);
    QCOMPARE(main.size(), drawn.size());
    for (const QWidget *widget : drawn.findChildren<QWidget *>())
        QCOMPARE(main.findChild<QWidget *>(widget->objectName())->geometry(), widget->geometry());
    drawn.setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    QVERIFY(TextShortfall(form.saveButton).width() > 5);
}

QTEST_MAIN(TestLooks)
#include "tst_looks.moc"
