// Sound output: plays a file of the program's sound directory by the id of the sound table.
// Whether a sound is wanted at all (a user loaded, bNotifySound) is the caller's business.
#pragma once

#include <QString>

namespace ov::shell {

class Sounds {
public:
    virtual ~Sounds() = default;
    // Starts playing and returns at once; silent when there is no sound output.
    virtual void Play(int id, const QString& file) = 0;
};

// The file of a sound id ("login.wav", ...), empty for an id the table does not know.
QString SoundFile(int id);

}  // namespace ov::shell
