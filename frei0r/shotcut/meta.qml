// Shotcut's entry for fieldrestore.so (frei0r.fieldrestore): Shotcut lists
// only filters that have such a description, and shows ui.qml as its panel.
import QtQuick 2.12
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr('Deinterlace (fieldrestore)')
    keywords: qsTr('deinterlace interlaced fields comb progressive') + ' fieldrestore'
    mlt_service: 'frei0r.fieldrestore'
    objectName: 'fieldrestore'
    qml: 'ui.qml'
}
