#pragma once
// The name-input dialog: a list of offered names and an entry field. It refuses an entry by its
// three flags and shows the refusal in place of the list until the user acknowledges it.

#include <QDialog>
#include <QRect>

#include "modeler/VUiInterfaces.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace talvero::ui {

class TListInputForm : public QDialog, public VNameInputDialog {
    Q_OBJECT
public:
    explicit TListInputForm(QWidget* parent = nullptr);

    bool Run(const VNameInputRequest& request, std::string& text) override;

    // The entered text must be one of the listed items (default off).
    void SetMustSelect(bool on) { MustSelect = on; }
    bool GetMustSelect() const { return MustSelect; }
    // An empty or all-blank entry is refused (default on).
    void SetNonEmpty(bool on) { NonEmpty = on; }
    bool GetNonEmpty() const { return NonEmpty; }
    // The items are sorted before they are listed (default on).
    void SetSorted(bool on) { Sorted = on; }
    bool GetSorted() const { return Sorted; }

    // Caption, items (one empty row when there are none) and the entry's text; the flags are
    // set before.
    void Setup(const QStringList& items, const QString& title, const QString& initialText);

    QLineEdit* Entry() const { return EntryEdit; }
    QTableWidget* List() const { return Items; }
    QPushButton* OkButton() const { return Ok; }
    QPushButton* CancelButton() const { return Cancel; }
    QWidget* ButtonPanel() const { return Buttons; }
    QWidget* MessagePanel() const { return Message; }
    QLabel* MessageLabel() const { return MessageText; }
    QLabel* InstructionLabel() const { return Instruction; }
    QPushButton* MessageOkButton() const { return MessageOk; }
    bool IsRefusalShown() const;
    // The selected row, -1 when none.
    int SelectedRow() const;

public slots:
    // Confirms the entry, or shows why it is refused.
    void accept() override;
    // Brings back the list and the buttons as they were before the refusal.
    void RestoreFromRefusal();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A list holding only the empty placeholder row cannot be used.
    void UpdateListEnabled();
    void SelectRow(int row);
    QString RowText(int row) const;
    void SelectByPrefix(const QString& text);
    void RowDoubleClicked(int row);
    void Refuse(const QString& message);

    bool MustSelect = false;
    bool NonEmpty = true;
    bool Sorted = true;

    QTableWidget* Items;
    QLineEdit* EntryEdit;
    QWidget* Buttons;
    QPushButton* Ok;
    QPushButton* Cancel;
    QWidget* Message;
    QLabel* MessageText;
    QLabel* Instruction;
    bool InstructionShown = false;
    QPushButton* MessageOk;

    // The window before a refusal replaced the list.
    QRect SavedGeometry;
    QString SavedCaption;
};

} // namespace talvero::ui
