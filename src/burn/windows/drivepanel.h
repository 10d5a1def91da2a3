#pragma once

#include <QObject>

namespace quillory {

struct BurnWindowContext;

// The burning window's drive and options panel: the recorders, the write speeds the medium allows
// and the options the writer takes from the check boxes.
class DrivePanel : public QObject {
    Q_OBJECT

public:
    DrivePanel(const BurnWindowContext &context, QObject *parent);

    // Lists the recorders and selects the first.
    void enumerate();
    // Reads the medium's facts again: a disc may have come since they were read.
    void refreshMedia();
    void moveTray(bool close);
    int selectedDevice() const { return m_selectedDevice; }
    // The options a CD or a DVD takes from the panel.
    void applyTrackOptions(bool cd) const;

private:
    void deviceChosen();
    void fillSpeedList();
    void speedChosen();
    void cacheImageClicked();

    const BurnWindowContext &m_context;
    int m_selectedDevice = -1;
};

} // namespace quillory
