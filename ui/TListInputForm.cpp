#include "ui/TListInputForm.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/UiDialogs.h"
#include "ui/UiText.h"

namespace talvero::ui {

TListInputForm::TListInputForm(QWidget* parent) : QDialog(parent) {
    Items = new QTableWidget(0, 1);
    Items->horizontalHeader()->hide();
    Items->horizontalHeader()->setStretchLastSection(true);
    Items->verticalHeader()->hide();
    Items->setSelectionBehavior(QAbstractItemView::SelectRows);
    Items->setSelectionMode(QAbstractItemView::SingleSelection);
    Items->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Items->setShowGrid(false);
    Items->setFocusPolicy(Qt::NoFocus);
    Items->verticalHeader()->setMinimumSectionSize(Items->fontMetrics().height() + 6);
    Items->verticalHeader()->setDefaultSectionSize(Items->fontMetrics().height() + 6);
    connect(Items, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { RowDoubleClicked(row); });
    // Where a listed name must be chosen, a click chooses it: OK then confirms what was clicked.
    connect(Items, &QTableWidget::cellClicked, this, [this](int row, int) {
        if (MustSelect && row >= 0 && row < Items->rowCount() && !RowText(row).isEmpty()) {
            EntryEdit->setText(RowText(row));
            SelectRow(row);
        }
    });

    EntryEdit = new QLineEdit;
    EntryEdit->installEventFilter(this);
    connect(EntryEdit, &QLineEdit::textChanged, this, &TListInputForm::SelectByPrefix);

    Buttons = new QWidget;
    Ok = new QPushButton(QStringLiteral("OK"));
    Cancel = new QPushButton(QString::fromUtf8("Отмена"));
    Ok->setDefault(true);
    Cancel->setAutoDefault(false);
    connect(Ok, &QPushButton::clicked, this, &TListInputForm::accept);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(Ok);
    buttonRow->addWidget(Cancel);
    auto* buttonsLayout = new QVBoxLayout(Buttons);
    buttonsLayout->setContentsMargins(0, 0, 0, 0);
    buttonsLayout->addWidget(EntryEdit);
    buttonsLayout->addLayout(buttonRow);

    Message = new QWidget;
    MessageText = new QLabel;
    MessageText->setWordWrap(true);
    MessageOk = new QPushButton(QString::fromUtf8("ОК"));
    MessageOk->setAutoDefault(false);
    connect(MessageOk, &QPushButton::clicked, this, &TListInputForm::RestoreFromRefusal);
    auto* messageLayout = new QHBoxLayout(Message);
    messageLayout->setContentsMargins(0, 0, 0, 0);
    messageLayout->addWidget(MessageText, 1);
    messageLayout->addWidget(MessageOk, 0, Qt::AlignBottom);
    Message->hide();

    // Window managers cut long captions short: the instruction is repeated inside.
    Instruction = new QLabel;
    Instruction->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Instruction);
    layout->addWidget(Items, 1);
    layout->addWidget(Buttons);
    layout->addWidget(Message);
    resize(320, 260);
}

bool TListInputForm::Run(const VNameInputRequest& request, std::string& text) {
    SetMustSelect(request.MustSelect);
    SetNonEmpty(request.NonEmpty);
    SetSorted(request.Sorted);
    Setup(FromCpLines(request.Items), FromCp(request.Title), FromCp(request.InitialText));
    if (RunModal(*this) != QDialog::Accepted) return false;
    text = ToCp(EntryEdit->text());
    return true;
}

void TListInputForm::Setup(const QStringList& items, const QString& title, const QString& initialText) {
    if (IsRefusalShown()) RestoreFromRefusal();
    setWindowTitle(title);
    Instruction->setText(title);
    Instruction->setHidden(title.isEmpty());
    QStringList rows = items;
    if (Sorted) {
        std::stable_sort(rows.begin(), rows.end(), NaturalLess);
    }
    if (rows.isEmpty()) rows << QString();
    Items->clearContents();
    Items->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < Items->rowCount(); ++r) Items->setItem(r, 0, new QTableWidgetItem(rows[r]));
    Items->clearSelection();
    Items->setCurrentCell(-1, -1);
    EntryEdit->setText(initialText);
    SelectByPrefix(initialText);
    UpdateListEnabled();
}

void TListInputForm::UpdateListEnabled() { Items->setEnabled(!(Items->rowCount() == 1 && RowText(0).isEmpty())); }

bool TListInputForm::IsRefusalShown() const { return !Message->isHidden(); }

int TListInputForm::SelectedRow() const { return Items->currentRow(); }

QString TListInputForm::RowText(int row) const {
    const QTableWidgetItem* item = row >= 0 ? Items->item(row, 0) : nullptr;
    return item ? item->text() : QString();
}

void TListInputForm::SelectRow(int row) {
    if (row < 0 || row >= Items->rowCount()) return;
    Items->setCurrentCell(row, 0);
    Items->scrollToItem(Items->item(row, 0));
}

void TListInputForm::SelectByPrefix(const QString& text) {
    // A row equal to the entry wins over an earlier row that only begins with it, so that an
    // existing name typed in full is the one selected.
    int prefixRow = -1;
    for (int r = 0; r < Items->rowCount(); ++r) {
        const QString row = RowText(r);
        if (row == text) {
            SelectRow(r);
            return;
        }
        if (prefixRow < 0 && row.startsWith(text, Qt::CaseSensitive)) prefixRow = r;
    }
    if (prefixRow >= 0) SelectRow(prefixRow);
}

void TListInputForm::RowDoubleClicked(int row) {
    if (row < 0 || row >= Items->rowCount()) return;
    EntryEdit->setText(RowText(row));
    SelectRow(row);
    if (MustSelect) accept();
}

void TListInputForm::accept() {
    if (IsRefusalShown()) return;
    const QString entry = EntryEdit->text();
    if (NonEmpty && entry.trimmed().isEmpty()) {
        Refuse(QString::fromUtf8("Вводимая строка не может быть пустой."));
        return;
    }
    // The single empty row of an empty list is no name.
    const bool listed = !(Items->rowCount() == 1 && RowText(0).isEmpty());
    const int row = SelectedRow();
    const bool matchesSelection = listed && row >= 0 && RowText(row) == entry;
    if (MustSelect) {
        if (!matchesSelection) {
            Refuse(QString::fromUtf8("Необходимо выбрать одну из предлагаемых позиций списка!"));
            return;
        }
    } else if (matchesSelection) {
        Refuse(QString::fromUtf8("Данное наименование уже существует. Пожалуйста введите другое."));
        return;
    }
    QDialog::accept();
}

void TListInputForm::Refuse(const QString& message) {
    SavedGeometry = geometry();
    SavedCaption = windowTitle();
    const QSize panel = Buttons->size();
    Buttons->hide();
    Items->hide();
    InstructionShown = !Instruction->isHidden();
    Instruction->hide();
    MessageText->setText(message);
    Message->show();
    Ok->setDefault(false);
    MessageOk->setDefault(true);
    MessageOk->setFocus();
    layout()->activate();
    const QMargins margins = layout()->contentsMargins();
    const QSize client(panel.width() + margins.left() + margins.right(),
                       panel.height() + margins.top() + margins.bottom());
    resize(client.expandedTo(minimumSizeHint()));
    setWindowTitle(QString::fromUtf8("Ошибка"));
}

void TListInputForm::RestoreFromRefusal() {
    if (!IsRefusalShown()) return;
    Message->hide();
    Buttons->show();
    Items->show();
    Instruction->setVisible(InstructionShown);
    MessageOk->setDefault(false);
    Ok->setDefault(true);
    setGeometry(SavedGeometry);
    setWindowTitle(SavedCaption);
    EntryEdit->setFocus();
}

void TListInputForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    UpdateListEnabled();
    EntryEdit->setFocus();
}

bool TListInputForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == EntryEdit && event->type() == QEvent::KeyPress) {
        const int row = SelectedRow();
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Insert:
            if (row >= 0) {
                EntryEdit->setText(RowText(row));
                SelectRow(row);
            }
            return true;
        case Qt::Key_Up:
            if (row > 0) SelectRow(row - 1);
            return true;
        case Qt::Key_Down:
            if (row < Items->rowCount() - 1) SelectRow(row + 1);
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace talvero::ui
