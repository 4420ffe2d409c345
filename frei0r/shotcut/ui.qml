// The panel of fieldrestore.so in Shotcut. The frei0r parameters are set by
// their index ('0' ... '9'), as MLT looks them up first and as projects keep
// them; each number is shown in its setting's own units and stored as the
// frei0r value (setting / scale). Values are written as text so that they
// keep every digit (a number set as such is saved with six significant
// digits). The filter's threads property stays unset: MLT would otherwise
// filter horizontal slices of the frame, each on its own.
import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Dialogs 1.2
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut
import org.shotcut.qml 1.0 as Shotcut

Item {
    id: root

    // Index, scale and default setting of each number.
    property var numbers: [
        {"index": '1', "scale": 100, "value": 16},
        {"index": '2', "scale": 1000, "value": 48},
        {"index": '3', "scale": 10000000, "value": 8192},
        {"index": '4', "scale": 256, "value": 0}
    ]
    property var fields: ['bottom', 'top']
    property var allParameters: ['0', '1', '2', '3', '4', '5', '6', '7', '8', '9']

    function setNumber(i, setting) {
        filter.set(numbers[i].index, String(setting / numbers[i].scale));
    }

    function getNumber(i) {
        return Math.round(filter.getDouble(numbers[i].index) * numbers[i].scale);
    }

    function setDefaults() {
        filter.set('0', '0.8');
        for (var i = 0; i < numbers.length; ++i)
            setNumber(i, numbers[i].value);
        filter.set('5', '0');
        filter.set('6', '0');
        filter.set('7', 'bottom');
        filter.set('8', '');
        filter.set('9', '0');
    }

    function setControls() {
        var method = Math.round(filter.getDouble('0') * 5);
        methodCombo.currentIndex = method >= 0 && method < methodCombo.count ? method : -1;
        fieldCombo.currentIndex = filter.get('7').trim().toLowerCase() === 'top' ? 1 : 0;
        var spinners = [areaSpinner, interlaceSpinner, blockSpinner, replaceSpinner];
        for (var i = 0; i < spinners.length; ++i)
            spinners[i].value = getNumber(i);
        onlyInterlacedCheck.checked = filter.getDouble('5') >= 0.5;
        searchInterpolatedCheck.checked = filter.getDouble('6') >= 0.5;
        combMapCheck.checked = filter.getDouble('9') >= 0.5;
        var rect = filter.get('8');
        rectLabel.text = rect === '' || rect === '0' ? qsTr('None: the whole frame') : rect;
    }

    width: 420
    height: 420
    Component.onCompleted: {
        if (filter.isNew) {
            setDefaults();
            filter.savePreset(allParameters);
        }
        setControls();
    }

    Shotcut.File {
        id: rectFile
    }

    FileDialog {
        id: rectDialog

        title: qsTr('Open Rect File')
        modality: application.dialogModality
        selectMultiple: false
        selectFolder: false
        selectExisting: true
        nameFilters: [qsTr('Rect files (*.rect)'), qsTr('All Files (*)')]
        onAccepted: {
            rectFile.url = rectDialog.fileUrl;
            filter.set('8', rectFile.filePath);
            setControls();
        }
    }

    GridLayout {
        columns: 3
        anchors.fill: parent
        anchors.margins: 8

        Label {
            text: qsTr('Preset')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.Preset {
            id: preset

            Layout.columnSpan: 2
            parameters: allParameters
            onPresetSelected: setControls()
        }

        Label {
            text: qsTr('Method')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.ComboBox {
            id: methodCombo

            implicitWidth: 260
            model: [qsTr('None'), qsTr('Only even rows'), qsTr('Simple interpolation'), qsTr('Area based interpolation'), qsTr('Area based motion estimation'), qsTr('Advanced method'), qsTr('Restore (uses neighbouring frames)')]
            onActivated: filter.set('0', String(currentIndex / 5))
        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set('0', '0.8');
                setControls();
            }
        }

        Label {
            text: qsTr('Field kept')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.ComboBox {
            id: fieldCombo

            implicitWidth: 260
            model: [qsTr('Bottom (rows 1, 3, 5, ...)'), qsTr('Top (rows 0, 2, 4, ...)')]
            onActivated: filter.set('7', fields[currentIndex])
        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set('7', 'bottom');
                setControls();
            }
        }

        Label {
            text: qsTr('Search area')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.DoubleSpinBox {
            id: areaSpinner

            Layout.minimumWidth: 140
            from: 0
            to: 32767
            suffix: qsTr(' px')
            onValueModified: setNumber(0, value)
        }

        Shotcut.UndoButton {
            onClicked: {
                setNumber(0, numbers[0].value);
                setControls();
            }
        }

        Label {
            text: qsTr('Interlace detection threshold')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.DoubleSpinBox {
            id: interlaceSpinner

            Layout.minimumWidth: 140
            from: 0
            to: 65535
            onValueModified: setNumber(1, value)
        }

        Shotcut.UndoButton {
            onClicked: {
                setNumber(1, numbers[1].value);
                setControls();
            }
        }

        Label {
            text: qsTr('Block distance threshold')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.DoubleSpinBox {
            id: blockSpinner

            Layout.minimumWidth: 140
            from: 0
            to: 10000000
            onValueModified: setNumber(2, value)
        }

        Shotcut.UndoButton {
            onClicked: {
                setNumber(2, numbers[2].value);
                setControls();
            }
        }

        Label {
            text: qsTr('Replacement threshold')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.DoubleSpinBox {
            id: replaceSpinner

            Layout.minimumWidth: 140
            from: -1
            to: 256
            onValueModified: setNumber(3, value)
        }

        Shotcut.UndoButton {
            onClicked: {
                setNumber(3, numbers[3].value);
                setControls();
            }
        }

        Item {
            width: 1
        }

        CheckBox {
            id: onlyInterlacedCheck

            Layout.columnSpan: 2
            text: qsTr('Replace only interlaced pixels')
            onClicked: filter.set('5', checked ? '1' : '0')
        }

        Item {
            width: 1
        }

        CheckBox {
            id: searchInterpolatedCheck

            Layout.columnSpan: 2
            text: qsTr('ME search on interpolated images')
            onClicked: filter.set('6', checked ? '1' : '0')
        }

        Label {
            text: qsTr('Region')
            Layout.alignment: Qt.AlignRight
        }

        RowLayout {
            Shotcut.Button {
                text: qsTr('Open...')
                onClicked: rectDialog.open()
            }

            Label {
                id: rectLabel

                Layout.fillWidth: true
                elide: Text.ElideLeft
            }

        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set('8', '');
                setControls();
            }
        }

        Item {
            width: 1
        }

        CheckBox {
            id: combMapCheck

            Layout.columnSpan: 2
            text: qsTr('Comb map')
            onClicked: filter.set('9', checked ? '1' : '0')
        }

        Label {
            Layout.columnSpan: 3
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            text: qsTr('Set the clip\'s Scan mode to Progressive in Properties: otherwise the fields are blended before this filter sees them.')
        }

        Item {
            Layout.fillHeight: true
        }

    }

}
