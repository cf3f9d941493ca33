#include "tools/assetgen/sounds.h"

#include <QDir>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "tools/assetgen/formats.h"

namespace ov::assets {

namespace {

constexpr double kPi = 3.14159265358979323846;

enum class Timbre {
    Soft,   // a rounded sine with a little octave
    Bell,   // a bright strike with an inharmonic shimmer that fades first
    Pluck,  // short and woody
    Click,  // a tiny tick for typing
};

struct Note {
    double frequency;
    double start;   // seconds
    double length;  // seconds
    double gain = 1.0;
    double glideTo = 0.0;  // end frequency of a glide, or 0
};

struct Phrase {
    const char* file;
    Timbre timbre;
    std::vector<Note> notes;
};

double Midi(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// Note numbers: C5 = 72.
const std::vector<Phrase>& Phrases() {
    static const std::vector<Phrase> phrases = {
        {"login.wav",
         Timbre::Bell,
         {{Midi(72), 0, .25}, {Midi(76), .09, .25}, {Midi(79), .18, .4}}},
        {"logout.wav",
         Timbre::Bell,
         {{Midi(79), 0, .25}, {Midi(76), .09, .25}, {Midi(72), .18, .4}}},
        {"lost.wav",
         Timbre::Soft,
         {{Midi(76), 0, .22}, {Midi(72), .12, .22}, {Midi(69), .24, .35}}},
        {"buddydeny.wav", Timbre::Soft, {{Midi(62), 0, .2}, {Midi(57), .13, .3}}},
        {"buddyaccept.wav",
         Timbre::Bell,
         {{Midi(72), 0, .2}, {Midi(79), .1, .2}, {Midi(84), .2, .35}}},
        {"buddyrequest.wav",
         Timbre::Bell,
         {{Midi(81), 0, .18}, {Midi(76), .12, .18}, {Midi(81), .24, .3}}},
        {"buddyonline.wav", Timbre::Soft, {{Midi(76), 0, .18, .9}, {Midi(83), .1, .3, .9}}},
        {"buddyoffline.wav", Timbre::Soft, {{Midi(83), 0, .18, .8}, {Midi(76), .1, .3, .8}}},
        {"typechar.wav", Timbre::Click, {{2200, 0, .018, .6}}},
        {"typereturn.wav", Timbre::Click, {{1300, 0, .03, .7}, {1700, .025, .03, .5}}},
        {"typedel.wav", Timbre::Click, {{900, 0, .025, .6}}},
        {"usrmsg.wav", Timbre::Bell, {{Midi(86), 0, .3}, {Midi(81), .14, .45}}},
        {"sysmsg.wav",
         Timbre::Bell,
         {{Midi(77), 0, .16}, {Midi(77), .12, .16}, {Midi(84), .24, .4}}},
        {"buddymsg.wav", Timbre::Bell, {{Midi(81), 0, .25}, {Midi(85), .1, .4}}},
        {"file.wav",
         Timbre::Pluck,
         {{Midi(72), 0, .18}, {Midi(74), .07, .18}, {Midi(76), .14, .18}, {Midi(79), .21, .35}}},
        {"sendmsg.wav", Timbre::Soft, {{600, 0, .14, .8, 1250}}},
        {"msgsent.wav", Timbre::Bell, {{Midi(88), 0, .22, .7}}},
        {"msgsenderr.wav", Timbre::Soft, {{Midi(57), 0, .18}, {Midi(56), .14, .28}}},
        {"pgr_usrmsg.wav", Timbre::Pluck, {{Midi(84), 0, .2}, {Midi(79), .09, .3}}},
        {"pgr_usrenter.wav", Timbre::Pluck, {{Midi(74), 0, .15, .8}, {Midi(79), .07, .25, .8}}},
        {"pgr_usrleave.wav", Timbre::Pluck, {{Midi(79), 0, .15, .7}, {Midi(74), .07, .25, .7}}},
        {"pgr_buddymsg.wav",
         Timbre::Pluck,
         {{Midi(86), 0, .18}, {Midi(83), .08, .18}, {Midi(86), .16, .3}}},
        {"pgr_buddyenter.wav", Timbre::Bell, {{Midi(79), 0, .2, .8}, {Midi(86), .08, .3, .8}}},
        {"pgr_buddyleave.wav", Timbre::Bell, {{Midi(86), 0, .2, .7}, {Midi(79), .08, .3, .7}}},
        {"pgr_sysmsg.wav", Timbre::Pluck, {{Midi(77), 0, .2}, {Midi(72), .1, .3}}},
        {"pgr_enter.wav",
         Timbre::Soft,
         {{Midi(67), 0, .2}, {Midi(72), .08, .2}, {Midi(79), .16, .3}}},
        {"pgr_leave.wav",
         Timbre::Soft,
         {{Midi(79), 0, .2}, {Midi(72), .08, .2}, {Midi(67), .16, .3}}},
        {"winshow.wav", Timbre::Soft, {{420, 0, .09, .6, 820}}},
        {"winhide.wav", Timbre::Soft, {{820, 0, .09, .6, 420}}},
        {"winsnap.wav", Timbre::Click, {{1500, 0, .025, .7}}},
    };
    return phrases;
}

double Voice(Timbre timbre, double phase, double t) {
    switch (timbre) {
        case Timbre::Bell:
            return std::sin(phase) + 0.35 * std::sin(2 * phase) * std::exp(-t * 9) +
                   0.18 * std::sin(2.76 * phase) * std::exp(-t * 14);
        case Timbre::Pluck:
            return std::sin(phase) + 0.5 * std::sin(2 * phase) * std::exp(-t * 18) +
                   0.25 * std::sin(3 * phase) * std::exp(-t * 25);
        case Timbre::Click:
            return std::sin(phase) + 0.3 * std::sin(1.5 * phase);
        default:
            return std::sin(phase) + 0.18 * std::sin(2 * phase);
    }
}

double Envelope(Timbre timbre, double t, double length) {
    const double attack = timbre == Timbre::Click ? 0.001 : 0.006;
    if (t < attack)
        return t / attack;
    const double decay = timbre == Timbre::Soft ? 4.0 : timbre == Timbre::Click ? 60.0 : 7.0;
    double e = std::exp(-(t - attack) * decay);
    // The last 30 ms fade to nothing, so no note ends with a click.
    const double tail = 0.03;
    if (t > length - tail)
        e *= std::max(0.0, (length - t) / tail);
    return e;
}

}  // namespace

const std::vector<const char*>& SoundFiles() {
    static const std::vector<const char*> files = [] {
        std::vector<const char*> v;
        for (const Phrase& phrase : Phrases())
            v.push_back(phrase.file);
        return v;
    }();
    return files;
}

std::vector<int16_t> SynthesizeSound(const char* file) {
    const auto it = std::find_if(Phrases().begin(), Phrases().end(),
                                 [&](const Phrase& p) { return std::strcmp(p.file, file) == 0; });
    if (it == Phrases().end())
        return {};
    double end = 0;
    for (const Note& n : it->notes)
        end = std::max(end, n.start + n.length);
    std::vector<double> mix(size_t(end * kSampleRate) + 1, 0.0);
    for (const Note& n : it->notes) {
        double phase = 0;
        const size_t first = size_t(n.start * kSampleRate);
        const size_t count = size_t(n.length * kSampleRate);
        for (size_t i = 0; i < count && first + i < mix.size(); ++i) {
            const double t = double(i) / kSampleRate;
            const double f = n.glideTo > 0 ? n.frequency + (n.glideTo - n.frequency) * t / n.length
                                           : n.frequency;
            phase += 2 * kPi * f / kSampleRate;
            mix[first + i] +=
                n.gain * Voice(it->timbre, phase, t) * Envelope(it->timbre, t, n.length);
        }
    }
    // Normalised to a comfortable level, well below full scale.
    double peak = 0;
    for (double v : mix)
        peak = std::max(peak, std::fabs(v));
    const double scale = peak > 0 ? 0.42 * 32767 / peak : 0;
    std::vector<int16_t> samples;
    samples.reserve(mix.size());
    for (double v : mix)
        samples.push_back(int16_t(std::lround(v * scale)));
    return samples;
}

bool WriteSounds(const QString& dir) {
    bool ok = QDir().mkpath(dir);
    for (const char* file : SoundFiles())
        ok = WriteWav(QDir(dir).filePath(file), SynthesizeSound(file), kSampleRate) && ok;
    return ok;
}

}  // namespace ov::assets
