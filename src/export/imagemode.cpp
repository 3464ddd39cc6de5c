// Image mode: the frozen copy of the canvas that an image is exported from.

#include "app/mainpanel.h"
#include "app/widgets.h"

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

namespace quill {

void MainPanel::LeaveImageMode() {
    imageSet = VbFalse;
    Picture6->hide();
    for (QWidget* w :
         std::initializer_list<QWidget*>{cmdLine, optH, optV, cboLine, cboFont, cboFsize,
                                         chkMarkers, chkShowKB, chkGrid, chkText})
        w->setEnabled(true);
    cmdSetOutline->setEnabled(false);
    cmdSavim->setEnabled(false);
    cboSizeRed->setEnabled(false);
}

// Entering image mode, the outline and saving an image come with image
// export; until then the buttons do nothing.
void MainPanel::cmdSetImage_Click() {}
void MainPanel::cmdSetOutline_Click() {}
void MainPanel::cmdSavIm_Click() {}

} // namespace quill
