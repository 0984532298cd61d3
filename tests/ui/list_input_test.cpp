// The name-input dialog: its three refusals with the refusal panel and its restore, the row
// selection while typing, the keys, and the double click.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/TListInputForm.h"

namespace talvero::ui {
namespace {

using uitest::Cp;
using uitest::U;

class ListInputTest : public ::testing::Test {
protected:
    void Open(const QStringList& items, bool mustSelect, const QString& initial = QString()) {
        form.SetMustSelect(mustSelect);
        form.SetNonEmpty(true);
        form.SetSorted(false);
        form.Setup(items, U("Введите имя нового окна наблюдения"), initial);
        form.setResult(QDialog::Rejected);
        form.show();
        QApplication::processEvents();
    }
    QString Selected() const {
        const int row = form.SelectedRow();
        return row < 0 ? QStringLiteral("<none>") : form.List()->item(row, 0)->text();
    }
    // Types key by key (QTest's own typing knows only ASCII keys).
    void Type(const QString& text) {
        form.Entry()->clear();
        for (const QChar c : text) {
            QTest::sendKeyEvent(QTest::Press, form.Entry(), Qt::Key_unknown, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, form.Entry(), Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }

    TListInputForm form;
};

TEST_F(ListInputTest, SortedItemsAreListedInOrder) {
    form.SetSorted(true);
    form.Setup({U("в"), U("а"), U("б")}, QStringLiteral("T"), QString());
    ASSERT_EQ(form.List()->rowCount(), 3);
    EXPECT_EQ(form.List()->item(0, 0)->text(), U("а"));
    EXPECT_EQ(form.List()->item(2, 0)->text(), U("в"));

    form.Setup({QStringLiteral("w10"), QStringLiteral("w2"), QStringLiteral("w1")}, U("Введите имя"), QString());
    EXPECT_EQ(form.List()->item(0, 0)->text(), QStringLiteral("w1"));
    EXPECT_EQ(form.List()->item(1, 0)->text(), QStringLiteral("w2"));
    // The caption may be cut short by the window manager: the instruction is also inside.
    EXPECT_EQ(form.InstructionLabel()->text(), U("Введите имя"));
    EXPECT_FALSE(form.InstructionLabel()->isHidden());
}

TEST_F(ListInputTest, AnEmptyListIsOneDisabledEmptyRow) {
    Open({}, false);
    ASSERT_EQ(form.List()->rowCount(), 1);
    EXPECT_FALSE(form.List()->isEnabled());
    EXPECT_EQ(form.focusWidget(), form.Entry());
    Open({U("а")}, false);
    EXPECT_TRUE(form.List()->isEnabled());
}

TEST_F(ListInputTest, BlankEntryIsRefusedInPlaceOfTheListAndOkRestoresIt) {
    Open({U("Окно 1"), U("Окно 2")}, false);
    const QRect before = form.geometry();
    const QString caption = form.windowTitle();
    Type(QStringLiteral("   "));
    form.OkButton()->click();

    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.IsRefusalShown());
    EXPECT_EQ(form.MessageLabel()->text(), U("Вводимая строка не может быть пустой."));
    EXPECT_EQ(form.windowTitle(), U("Ошибка"));
    EXPECT_TRUE(form.List()->isHidden());
    EXPECT_TRUE(form.ButtonPanel()->isHidden());
    EXPECT_TRUE(form.MessageOkButton()->isDefault());
    EXPECT_LE(form.height(), before.height());

    form.MessageOkButton()->click();
    EXPECT_FALSE(form.IsRefusalShown());
    EXPECT_FALSE(form.List()->isHidden());
    EXPECT_FALSE(form.ButtonPanel()->isHidden());
    EXPECT_TRUE(form.OkButton()->isDefault());
    EXPECT_EQ(form.geometry(), before);
    EXPECT_EQ(form.windowTitle(), caption);
    EXPECT_EQ(form.Entry()->text(), QStringLiteral("   "));
    EXPECT_EQ(form.result(), QDialog::Rejected);
}

TEST_F(ListInputTest, NewNameModeRefusesAnExistingName) {
    Open({U("Мотонейрон"), U("Мышца")}, false);
    Type(U("Мышца"));
    EXPECT_EQ(Selected(), U("Мышца"));
    form.OkButton()->click();
    EXPECT_TRUE(form.IsRefusalShown());
    EXPECT_EQ(form.MessageLabel()->text(), U("Данное наименование уже существует. Пожалуйста введите другое."));
    form.MessageOkButton()->click();

    Type(U("Мыш"));
    form.OkButton()->click();
    EXPECT_FALSE(form.IsRefusalShown());
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST_F(ListInputTest, NonEmptyOffLetsAnEmptyNewNameThrough) {
    form.SetMustSelect(false);
    form.SetNonEmpty(false);
    form.SetSorted(false);
    form.Setup({}, QStringLiteral("T"), QString());
    form.show();
    form.OkButton()->click();
    // The placeholder row of an empty list names nothing, so nothing "already exists".
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST_F(ListInputTest, MustSelectModeRefusesAnythingElse) {
    Open({U("Окно 1"), U("Окно 2")}, true);
    Type(U("Окно 3"));
    form.OkButton()->click();
    EXPECT_TRUE(form.IsRefusalShown());
    EXPECT_EQ(form.MessageLabel()->text(), U("Необходимо выбрать одну из предлагаемых позиций списка!"));
    form.MessageOkButton()->click();
    Type(U("Окно 2"));
    form.OkButton()->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST_F(ListInputTest, ChecksStopAtTheFirstRefusal) {
    Open({U("Окно 1")}, true);
    Type(QString());
    form.OkButton()->click();
    EXPECT_EQ(form.MessageLabel()->text(), U("Вводимая строка не может быть пустой."));
}

TEST_F(ListInputTest, TypingSelectsTheFirstRowBeginningWithTheEntry) {
    Open({QStringLiteral("beta"), QStringLiteral("alpha"), QStringLiteral("alpine"), QStringLiteral("Alps")}, false);
    Type(QStringLiteral("al"));
    EXPECT_EQ(Selected(), QStringLiteral("alpha"));
    Type(QStringLiteral("alpi"));
    EXPECT_EQ(Selected(), QStringLiteral("alpine"));
    // Case-sensitive.
    Type(QStringLiteral("Al"));
    EXPECT_EQ(Selected(), QStringLiteral("Alps"));
    // Nothing begins with it: the selection stays.
    Type(QStringLiteral("Alx"));
    EXPECT_EQ(Selected(), QStringLiteral("Alps"));
}

TEST_F(ListInputTest, AFullNameSelectsItsOwnRowOverALongerOneBefore) {
    Open({QStringLiteral("ab"), QStringLiteral("a")}, false);
    Type(QStringLiteral("a"));
    EXPECT_EQ(Selected(), QStringLiteral("a"));
    form.OkButton()->click();
    EXPECT_TRUE(form.IsRefusalShown());
}

TEST_F(ListInputTest, InsertUpAndDown) {
    Open({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}, false);
    Type(QStringLiteral("tw"));
    EXPECT_EQ(Selected(), QStringLiteral("two"));
    QTest::keyClick(form.Entry(), Qt::Key_Down);
    EXPECT_EQ(Selected(), QStringLiteral("three"));
    QTest::keyClick(form.Entry(), Qt::Key_Down);  // the last row stays selected
    EXPECT_EQ(Selected(), QStringLiteral("three"));
    EXPECT_EQ(form.Entry()->text(), QStringLiteral("tw"));
    QTest::keyClick(form.Entry(), Qt::Key_Insert);
    EXPECT_EQ(form.Entry()->text(), QStringLiteral("three"));
    QTest::keyClick(form.Entry(), Qt::Key_Up);
    QTest::keyClick(form.Entry(), Qt::Key_Up);
    EXPECT_EQ(Selected(), QStringLiteral("one"));
    QTest::keyClick(form.Entry(), Qt::Key_Up);  // the first row stays selected
    EXPECT_EQ(Selected(), QStringLiteral("one"));
}

TEST_F(ListInputTest, DoubleClickCopiesTheRowAndConfirmsOnlyInMustSelectMode) {
    Open({QStringLiteral("ab"), QStringLiteral("a")}, false);
    QTableWidget* list = form.List();
    const QRect cell = list->visualItemRect(list->item(1, 0));
    uitest::DoubleClick(list, cell.center());
    EXPECT_EQ(form.Entry()->text(), QStringLiteral("a"));
    EXPECT_TRUE(form.isVisible());

    Open({QStringLiteral("ab"), QStringLiteral("a")}, true);
    uitest::DoubleClick(list, list->visualItemRect(list->item(1, 0)).center());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.Entry()->text(), QStringLiteral("a"));
}

// The delete-window picker refused a name chosen with one click and OK as an empty entry.
TEST_F(ListInputTest, OneClickChoosesTheRowOnlyInMustSelectMode) {
    const struct {
        bool MustSelect;
        QString Entry;
        bool Accepted;
    } cases[] = {{true, QStringLiteral("a"), true}, {false, QString(), false}};
    for (const auto& c : cases) {
        Open({QStringLiteral("ab"), QStringLiteral("a")}, c.MustSelect);
        QTableWidget* list = form.List();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1, 0)).center());
        EXPECT_EQ(form.Entry()->text(), c.Entry) << c.MustSelect;
        form.OkButton()->click();
        EXPECT_EQ(form.result() == QDialog::Accepted, c.Accepted) << c.MustSelect;
        EXPECT_EQ(form.IsRefusalShown(), !c.Accepted) << c.MustSelect;
        form.reject();
    }
}

TEST_F(ListInputTest, RunHandsBackTheConfirmedTextInTheKernelEncoding) {
    uitest::DialogScript script;
    script.ThenOn<TListInputForm>([](TListInputForm& f) {
        f.Entry()->setText(U("Новое окно"));
        f.OkButton()->click();
    });
    VNameInputRequest request;
    request.Items = {Cp("Старое окно")};
    request.Title = Cp("Введите имя нового окна наблюдения");
    std::string text = "untouched";
    ASSERT_TRUE(form.Run(request, text));
    EXPECT_EQ(text, Cp("Новое окно"));
    EXPECT_EQ(form.windowTitle(), U("Введите имя нового окна наблюдения"));

    script.ThenOn<TListInputForm>([](TListInputForm& f) { f.CancelButton()->click(); });
    text = "untouched";
    EXPECT_FALSE(form.Run(request, text));
    EXPECT_EQ(text, "untouched");
}

TEST_F(ListInputTest, ARefusalLeftOpenIsUndoneByTheNextRun) {
    Open({U("а")}, true);
    Type(U("б"));
    form.OkButton()->click();
    ASSERT_TRUE(form.IsRefusalShown());
    form.reject();
    form.Setup({U("а")}, QStringLiteral("T"), QString());
    EXPECT_FALSE(form.IsRefusalShown());
    EXPECT_FALSE(form.List()->isHidden());
}

} // namespace
} // namespace talvero::ui
