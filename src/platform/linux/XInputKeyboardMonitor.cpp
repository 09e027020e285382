#include "platform/linux/XInputKeyboardMonitor.h"

#include "core/Log.h"
#include "platform/linux/XKeyTranslator.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quonvera {
namespace {

using Clock = std::chrono::steady_clock;

// A layout change arrives as a burst of mapping notifications; the keyboard is read again once
// they have stopped for this long.
constexpr auto kRemapDelay = std::chrono::milliseconds(100);

// Every combination of the given modifier masks, including none.
std::vector<unsigned> combinations(const std::vector<unsigned>& masks) {
    std::vector<unsigned> result{0};
    for (unsigned mask : masks) {
        if (mask == 0) continue;
        const std::size_t count = result.size();
        for (std::size_t i = 0; i < count; ++i)
            if ((result[i] & mask) == 0) result.push_back(result[i] | mask);
    }
    return result;
}

unsigned long fnStandInKeysym(const std::string& name) {
    if (name.empty()) return XK_Control_R;
    if (name == "none") return 0;
    const KeySym keysym = XStringToKeysym(name.c_str());
    if (keysym == NoSymbol) {
        logLine("XInputKeyboardMonitor: Unknown key name in QUONVERA_FN_KEY: " + name + "; no key stands in for fn");
        return 0;
    }
    return keysym;
}

}  // namespace

class XInputKeyboardMonitor::Session {
public:
    Session(Display* display, int xiOpcode, unsigned long fnKeysym, Handler handler)
        : display_(display), root_(DefaultRootWindow(display)), xiOpcode_(xiOpcode), fnKeysym_(fnKeysym),
          handler_(std::move(handler)), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        XSetIOErrorExitHandler(display_, &Session::connectionLost, this);
        readKeyboard();
        selectRawEvents();
        grabPasteShortcut();
        XSync(display_, False);
        thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
    }

    ~Session() {
        stopThread();
        XCloseDisplay(display_);  // also ends every grab
        if (wakeFd_ >= 0) close(wakeFd_);
    }

    // After it returns the handler is not called again.
    void stopThread() {
        thread_.request_stop();
        wake();
        if (thread_.joinable()) thread_.join();
    }

    void setEscapeGrabbed(bool grabbed) {
        escapeWanted_ = grabbed;
        // From the handler the grab is changed at once, so that it is in place before anybody
        // hears that the hotkey went down.
        if (std::this_thread::get_id() == monitorThread_.load()) followEscapeRequest();
        else wake();
    }

private:
    struct Grab {
        int device;
        unsigned keycode;
        std::vector<XIGrabModifiers> modifiers;
    };

    static void connectionLost(Display*, void* data) { static_cast<Session*>(data)->connectionLost_ = true; }

    void wake() const {
        const std::uint64_t one = 1;
        if (wakeFd_ >= 0) {
            [[maybe_unused]] const auto written = write(wakeFd_, &one, sizeof one);
        }
    }

    void run(const std::stop_token& stop) {
        monitorThread_ = std::this_thread::get_id();
        const int connectionFd = ConnectionNumber(display_);
        while (!stop.stop_requested() && !connectionLost_) {
            while (!connectionLost_ && XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                dispatch(event);
            }
            if (connectionLost_) break;
            followEscapeRequest();
            if (remapDue_ && Clock::now() >= *remapDue_) {
                remapDue_.reset();
                remap();
            }
            XFlush(display_);
            if (XQLength(display_) > 0) continue;  // a round trip above may have queued events

            int timeoutMs = -1;
            if (remapDue_) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(*remapDue_ - Clock::now());
                timeoutMs = static_cast<int>(std::max<long long>(0, left.count()));
            }
            std::array<pollfd, 2> fds{{{connectionFd, POLLIN, 0}, {wakeFd_, POLLIN, 0}}};
            poll(fds.data(), fds.size(), timeoutMs);
            std::uint64_t drained;
            [[maybe_unused]] const auto readBytes = read(wakeFd_, &drained, sizeof drained);
        }
        if (connectionLost_) logLine("XInputKeyboardMonitor: Lost the connection to the X server");
    }

    void dispatch(XEvent& event) {
        if (event.type == GenericEvent && event.xcookie.extension == xiOpcode_) {
            if (!XGetEventData(display_, &event.xcookie)) return;
            const int type = event.xcookie.evtype;
            if (type == XI_RawKeyPress || type == XI_RawKeyRelease) {
                const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
                handleKey(static_cast<unsigned>(raw->detail), type == XI_RawKeyPress, (raw->flags & XIKeyRepeat) != 0);
            } else if (type == XI_KeyPress) {
                // One of our grabs fired and froze the keyboard. The key's raw event came first,
                // so the handler has already decided: keep the key, or hand it on to the focused
                // window. Either way the keyboard is thawed at once.
                const auto* key = static_cast<const XIDeviceEvent*>(event.xcookie.data);
                const auto keycode = static_cast<std::size_t>(key->detail);
                const bool swallow = keycode < lastDecision_.size() && lastDecision_[keycode] == KeyDisposition::swallow;
                XIAllowEvents(display_, key->deviceid, swallow ? XIAsyncDevice : XIReplayDevice, CurrentTime);
                XFlush(display_);
            }
            XFreeEventData(display_, &event.xcookie);
        } else if (event.type == MappingNotify && event.xmapping.request != MappingPointer) {
            XRefreshKeyboardMapping(&event.xmapping);
            remapDue_ = Clock::now() + kRemapDelay;
        }
    }

    void handleKey(unsigned keycode, bool press, bool serverRepeat) {
        const auto translated = translator_.translate(keycode, press, serverRepeat);
        const KeyDisposition disposition = translated ? handler_(*translated) : KeyDisposition::pass;
        if (press && keycode < lastDecision_.size()) lastDecision_[keycode] = disposition;
    }

    void readKeyboard() {
        int minKeycode = 0, maxKeycode = 0;
        XDisplayKeycodes(display_, &minKeycode, &maxKeycode);
        XKeyboardMapping mapping;
        mapping.minKeycode = static_cast<unsigned>(minKeycode);
        KeySym* keysyms = XGetKeyboardMapping(display_, static_cast<::KeyCode>(minKeycode), maxKeycode - minKeycode + 1,
                                              &mapping.keysymsPerKeycode);
        if (keysyms) {
            mapping.keysyms.assign(keysyms, keysyms + static_cast<std::size_t>(maxKeycode - minKeycode + 1) *
                                                          static_cast<std::size_t>(mapping.keysymsPerKeycode));
            XFree(keysyms);
        }
        translator_.setMapping(mapping, fnKeysym_);
        if (fnKeysym_ != 0 && XKeysymToKeycode(display_, fnKeysym_) == 0)
            logLine(std::string("XInputKeyboardMonitor: The fn stand-in key ") + XKeysymToString(fnKeysym_) +
                    " is not on this keyboard");

        // Which modifier bits the lock keys, Alt and Super set in this layout.
        numLockMask_ = scrollLockMask_ = altMask_ = superMask_ = 0;
        if (XModifierKeymap* modifiers = XGetModifierMapping(display_)) {
            for (int modifier = 0; modifier < 8; ++modifier) {
                for (int i = 0; i < modifiers->max_keypermod; ++i) {
                    const ::KeyCode keycode = modifiers->modifiermap[modifier * modifiers->max_keypermod + i];
                    if (keycode == 0) continue;
                    for (int level = 0; level < mapping.keysymsPerKeycode; ++level) {
                        const unsigned long keysym = mapping.keysymAt(keycode, level);
                        const unsigned mask = 1u << modifier;
                        if (keysym == XK_Num_Lock) numLockMask_ |= mask;
                        else if (keysym == XK_Scroll_Lock) scrollLockMask_ |= mask;
                        else if (keysym == XK_Alt_L || keysym == XK_Alt_R) altMask_ |= mask;
                        else if (keysym == XK_Super_L || keysym == XK_Super_R) superMask_ |= mask;
                    }
                }
            }
            XFreeModifiermap(modifiers);
        }
        if (altMask_ == 0) altMask_ = Mod1Mask;
        masterKeyboards_.clear();
        int count = 0;
        if (XIDeviceInfo* devices = XIQueryDevice(display_, XIAllMasterDevices, &count)) {
            for (int i = 0; i < count; ++i)
                if (devices[i].use == XIMasterKeyboard) masterKeyboards_.push_back(devices[i].deviceid);
            XIFreeDeviceInfo(devices);
        }
        if (superMask_ == 0) superMask_ = Mod4Mask;
    }

    void selectRawEvents() {
        std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
        XISetMask(bits.data(), XI_RawKeyPress);
        XISetMask(bits.data(), XI_RawKeyRelease);
        XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
        XISelectEvents(display_, root_, &mask, 1);
    }

    std::vector<unsigned> lockStates() const { return combinations({LockMask, numLockMask_, scrollLockMask_}); }

    // Grabs are made on each master keyboard itself: a grab for all master devices at once would
    // apply the synchronous mode to the pointer instead. Passive grabs report combinations
    // another client holds in their reply (not as errors), so one taken combination fails alone.
    std::vector<Grab> grab(const std::vector<unsigned>& keycodes, unsigned required, const std::vector<unsigned>& optional) {
        std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
        XISetMask(bits.data(), XI_KeyPress);
        XISetMask(bits.data(), XI_KeyRelease);
        XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
        std::vector<Grab> grabs;
        int failed = 0;
        for (int device : masterKeyboards_) {
            for (unsigned keycode : keycodes) {
                Grab grab{device, keycode, {}};
                for (unsigned extra : combinations(optional))
                    for (unsigned locks : lockStates())
                        grab.modifiers.push_back({static_cast<int>(required | extra | locks), 0});
                auto results = grab.modifiers;
                failed += XIGrabKeycode(display_, device, static_cast<int>(keycode), root_, XIGrabModeSync,
                                        XIGrabModeAsync, False, &mask, static_cast<int>(results.size()), results.data());
                grabs.push_back(std::move(grab));
            }
        }
        if (failed > 0)
            logLine("XInputKeyboardMonitor: " + std::to_string(failed) + " key combinations are held by another program");
        return grabs;
    }

    void ungrab(std::vector<Grab>& grabs) {
        for (auto& g : grabs)
            XIUngrabKeycode(display_, g.device, static_cast<int>(g.keycode), root_,
                            static_cast<int>(g.modifiers.size()), g.modifiers.data());
        grabs.clear();
    }

    // Super+Control+V, also with Shift or Alt held, as the rule accepts further modifiers.
    void grabPasteShortcut() {
        pasteGrabs_ = grab(translator_.keycodesFor(VirtualKey::v), superMask_ | ControlMask, {ShiftMask, altMask_});
    }

    // Esc with any of the modifiers a hotkey can be made of.
    void followEscapeRequest() {
        const bool wanted = escapeWanted_;
        if (wanted == escapeGrabbed_) return;
        escapeGrabbed_ = wanted;
        if (wanted) escapeGrabs_ = grab(translator_.keycodesFor(VirtualKey::escape), 0, {ShiftMask, ControlMask, altMask_, superMask_});
        else ungrab(escapeGrabs_);
    }

    void remap() {
        ungrab(pasteGrabs_);
        ungrab(escapeGrabs_);
        escapeGrabbed_ = false;
        readKeyboard();
        grabPasteShortcut();
        followEscapeRequest();
        logLine("XInputKeyboardMonitor: Keyboard layout changed");
    }

    Display* display_;
    Window root_;
    int xiOpcode_;
    unsigned long fnKeysym_;
    Handler handler_;
    int wakeFd_;
    XKeyTranslator translator_;
    std::array<KeyDisposition, 256> lastDecision_{};
    unsigned numLockMask_ = 0, scrollLockMask_ = 0, altMask_ = 0, superMask_ = 0;
    std::vector<int> masterKeyboards_;
    std::vector<Grab> pasteGrabs_;
    std::vector<Grab> escapeGrabs_;
    std::atomic<bool> escapeWanted_{false};
    bool escapeGrabbed_ = false;
    std::optional<Clock::time_point> remapDue_;
    std::atomic<bool> connectionLost_{false};
    std::atomic<std::thread::id> monitorThread_{};
    std::jthread thread_;  // last: started once everything above exists
};

XInputKeyboardMonitor::XInputKeyboardMonitor(std::string displayName, std::optional<std::string> fnKeyName)
    : displayName_(std::move(displayName)) {
    if (fnKeyName) {
        fnKeyName_ = *fnKeyName;
    } else if (const char* fromEnvironment = std::getenv("QUONVERA_FN_KEY")) {
        fnKeyName_ = fromEnvironment;
    }
}

XInputKeyboardMonitor::~XInputKeyboardMonitor() { stop(); }

bool XInputKeyboardMonitor::start(Handler handler) {
    if (session_) return true;
    Display* display = nullptr;
    // A busy server may refuse a connection for a moment (EAGAIN); a missing one fails at once.
    for (int attempt = 0; attempt < 5 && !display; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        errno = 0;
        display = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
        if (!display && errno != EAGAIN) break;
    }
    if (!display) {
        logLine("XInputKeyboardMonitor: Cannot open the X display");
        return false;
    }
    int xiOpcode = 0, event = 0, error = 0;
    int major = 2, minor = 2;
    if (!XQueryExtension(display, "XInputExtension", &xiOpcode, &event, &error) ||
        XIQueryVersion(display, &major, &minor) != Success || major < 2 || (major == 2 && minor < 2)) {
        logLine("XInputKeyboardMonitor: The X server lacks XInput 2.2");
        XCloseDisplay(display);
        return false;
    }
    int testEvent = 0, testError = 0, testMajor = 0, testMinor = 0;
    if (!XTestQueryExtension(display, &testEvent, &testError, &testMajor, &testMinor)) {
        logLine("XInputKeyboardMonitor: The X server lacks XTEST");
        XCloseDisplay(display);
        return false;
    }
    session_ = std::make_unique<Session>(display, xiOpcode, fnStandInKeysym(fnKeyName_), std::move(handler));
    return true;
}

void XInputKeyboardMonitor::stop() {
    if (!session_) return;
    session_->stopThread();  // the handler may still be calling setEscapeGrabbed until then
    session_.reset();
}

void XInputKeyboardMonitor::setEscapeGrabbed(bool grabbed) {
    if (session_) session_->setEscapeGrabbed(grabbed);
}

}  // namespace quonvera
