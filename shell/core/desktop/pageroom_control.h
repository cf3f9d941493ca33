// What the frame asks of Pageroom: follow the browser or stop (as the login state and the
// online status decide), the person has just switched Pageroom on (so a browser that does not
// answer is worth a word), start the browser Pageroom follows, and the settings it reads have
// changed.
#pragma once

namespace ov::shell {

class PageroomControl {
public:
    virtual ~PageroomControl() = default;
    virtual void Run(bool on) = 0;
    virtual void SwitchedOn() = 0;
    virtual void StartBrowser() = 0;
    virtual void SettingsChanged() = 0;
};

}  // namespace ov::shell
