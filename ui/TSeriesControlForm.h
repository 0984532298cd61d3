#pragma once
// The series control dialog: which out gates a watch frame observes, with their legends,
// colours and shifts, and the chart's axis settings. It edits copies; the frame changes on Apply.
// One instance serves every watch window; it is not modal and stays on top.

#include <functional>
#include <string>
#include <vector>

#include <QColor>
#include <QDialog>

#include "modeler/OutGateWatchData.h"
#include "modeler/VUiInterfaces.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace talvero {
class TWatchFrame;
}

namespace talvero::ui {

class TSeriesControlForm : public QDialog {
    Q_OBJECT
public:
    // Asks for a colour starting from the given one; true with the chosen colour.
    using TColorChooser = std::function<bool(QColor& color)>;

    explicit TSeriesControlForm(QWidget* parent = nullptr, VNameInputDialog* nameInput = nullptr);
    ~TSeriesControlForm() override;

    // Shows the dialog for `frame`; ignored while it is shown or without a frame.
    void OpenForFrame(TWatchFrame* frame);
    // The frame is going away: a dialog open for it closes without applying.
    void FrameDestroyed(TWatchFrame* frame);
    TWatchFrame* Frame() const { return EditedFrame; }
    void SetNameInput(VNameInputDialog* nameInput) { NameInput = nameInput; }
    // Replaces the colour dialog; an empty chooser restores it.
    void SetColorChooser(TColorChooser chooser) { ColorChooser = std::move(chooser); }

    const OutGateWatchMap& GetObserved() const { return Observed; }
    const OutGateWatchMap& GetUnobserved() const { return Unobserved; }

    // The commands behind the buttons, the double clicks and the fields.
    void MoveAll();
    void MoveSelected();
    void ReturnSelected();
    void ReturnAll();
    void EditLegend();
    void EditColor();
    void ShiftEdited();
    void Apply();
    void Cancel();

    bool AxesChanged = false;
    bool ColorsChanged = false;
    bool LegendsChanged = false;
    bool ObservationsChanged = false;

    QTableWidget* StringGrid1;
    QTableWidget* StringGrid2;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* Button4;
    QGroupBox* GroupBox1;
    QGroupBox* GroupBox2;
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox3;
    QCheckBox* CheckBox4;
    QCheckBox* CheckBox5;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QFrame* OutterCPanel;
    QFrame* InnerCPanel;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

protected:
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadFromFrame();
    void FillGrids();
    void ShowSelected();
    // The name of the selected row of a grid, or null when it has no selection.
    const std::string* Selected(const QTableWidget* grid, const std::vector<std::string>& names) const;
    OutGateWatchData* SelectedRecord();
    void SetFieldEnabled(QLineEdit* field, bool enabled);
    void ShowColor(const OutGateWatchData& record);
    void CheckBoxClicked(QCheckBox* box, QLineEdit* field);
    void CheckBox5Clicked();
    void Centre();

    VNameInputDialog* NameInput;
    TColorChooser ColorChooser;
    TWatchFrame* EditedFrame = nullptr;
    OutGateWatchMap Observed;
    OutGateWatchMap Unobserved;
    // The names in the grids' row order.
    std::vector<std::string> ObservedNames;
    std::vector<std::string> UnobservedNames;
    QColor ShownColor;
};

} // namespace talvero::ui
