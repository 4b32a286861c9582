#pragma once

#include <QByteArrayView>
#include <QString>
#include <array>

namespace hy {

// The 23 speech clips, as views of complete WAV images. The images live in the
// executable's resources: nothing is copied and nothing is read from disk.
//
// The GUI thread fills the table before the announcer thread starts; from then
// on only the announcer thread reads it, and the GUI thread empties it only
// once that thread has ended.
class ClipTable
{
public:
    static constexpr int kClipCount = 23;

    // Fills the table from the resources under `directory`, finding clip i by
    // the name "wav<i>" without regard to case. A missing clip stays empty.
    void load(const QString& directory = QStringLiteral(":/clips"));
    // Empties the table (the resources themselves stay where they are).
    void release();

    void setClip(int index, QByteArrayView image);
    // The image of a clip; empty when missing or out of range.
    QByteArrayView clip(int index) const;
    int loadedCount() const;

private:
    std::array<QByteArrayView, kClipCount> m_clips{};
};

} // namespace hy
