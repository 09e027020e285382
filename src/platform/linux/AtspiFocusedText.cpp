#include "platform/linux/AtspiFocusedText.h"

#include <atspi/atspi.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace quonvera {
namespace {

constexpr int requestTimeoutMs = 1000;
constexpr int applicationStartTimeoutMs = 3000;
constexpr int maxObjectsSearched = 2000;

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// Owns the error of one request, if it failed.
class RequestError {
public:
    RequestError() = default;
    ~RequestError() { g_clear_error(&error_); }
    RequestError(const RequestError&) = delete;
    RequestError& operator=(const RequestError&) = delete;
    GError** out() {
        g_clear_error(&error_);
        return &error_;
    }
    bool failed() const { return error_ != nullptr; }

private:
    GError* error_ = nullptr;
};

bool hasState(AtspiAccessible* object, AtspiStateType state) {
    GObjectPtr<AtspiStateSet> states{atspi_accessible_get_state_set(object)};
    return states && atspi_state_set_contains(states.get(), state);
}

// Depth first through the visible part of the tree below `object`.
GObjectPtr<AtspiAccessible> findFocused(AtspiAccessible* object, int& budget) {
    if (--budget < 0) {
        return nullptr;
    }
    if (hasState(object, ATSPI_STATE_FOCUSED)) {
        return GObjectPtr<AtspiAccessible>{static_cast<AtspiAccessible*>(g_object_ref(object))};
    }
    // Lists and tables that manage their descendants may have thousands of rows; their text
    // cells are not where a user types.
    if (hasState(object, ATSPI_STATE_MANAGES_DESCENDANTS)) {
        return nullptr;
    }
    RequestError error;
    const gint count = atspi_accessible_get_child_count(object, error.out());
    for (gint i = 0; i < count && !error.failed(); ++i) {
        GObjectPtr<AtspiAccessible> child{atspi_accessible_get_child_at_index(object, i, error.out())};
        if (!child || !hasState(child.get(), ATSPI_STATE_SHOWING)) {
            continue;
        }
        if (auto focused = findFocused(child.get(), budget)) {
            return focused;
        }
    }
    return nullptr;
}

// Asks the application to search its own tree in one request (the Collection interface). The
// first value is false when the application cannot answer that way.
std::pair<bool, GObjectPtr<AtspiAccessible>> findFocusedThroughCollection(AtspiAccessible* window) {
    GObjectPtr<AtspiCollection> collection{atspi_accessible_get_collection_iface(window)};
    if (!collection) {
        return {false, nullptr};
    }
    GArray* wanted = g_array_new(FALSE, FALSE, sizeof(AtspiStateType));
    const AtspiStateType focused = ATSPI_STATE_FOCUSED;
    g_array_append_val(wanted, focused);
    GObjectPtr<AtspiStateSet> states{atspi_state_set_new(wanted)};
    g_array_free(wanted, TRUE);
    GObjectPtr<AtspiMatchRule> rule{atspi_match_rule_new(states.get(), ATSPI_Collection_MATCH_ALL, nullptr,
                                                         ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL,
                                                         nullptr, ATSPI_Collection_MATCH_ALL, FALSE)};
    RequestError error;
    GArray* matches = atspi_collection_get_matches(collection.get(), rule.get(), ATSPI_Collection_SORT_ORDER_CANONICAL,
                                                   1, TRUE, error.out());
    if (error.failed() || !matches) {
        if (matches) {
            g_array_free(matches, TRUE);
        }
        return {false, nullptr};
    }
    GObjectPtr<AtspiAccessible> found;
    for (guint i = 0; i < matches->len; ++i) {
        auto* match = g_array_index(matches, AtspiAccessible*, i);
        if (!found && match) {
            found.reset(match);
        } else if (match) {
            g_object_unref(match);
        }
    }
    g_array_free(matches, TRUE);
    return {true, std::move(found)};
}

class AtspiFocusedTextElement : public FocusedTextElement {
public:
    explicit AtspiFocusedTextElement(GObjectPtr<AtspiAccessible> object)
        : object_(std::move(object)),
          text_(atspi_accessible_get_text_iface(object_.get())),
          editable_(atspi_accessible_get_editable_text_iface(object_.get())) {}

    std::optional<std::string> value() override {
        RequestError error;
        if (!text_ || !editable_ || atspi_accessible_get_role(object_.get(), error.out()) == ATSPI_ROLE_PASSWORD_TEXT ||
            error.failed()) {
            return std::nullopt;
        }
        const gint count = atspi_text_get_character_count(text_.get(), error.out());
        if (error.failed() || count < 0) {
            return std::nullopt;
        }
        gchar* contents = atspi_text_get_text(text_.get(), 0, count, error.out());
        if (error.failed() || !contents) {
            g_free(contents);
            return std::nullopt;
        }
        std::string value(contents);
        g_free(contents);
        return value;
    }

    std::optional<TextRange> selectedRange() override {
        if (!text_) {
            return std::nullopt;
        }
        RequestError error;
        const gint selections = atspi_text_get_n_selections(text_.get(), error.out());
        if (error.failed()) {
            return std::nullopt;
        }
        if (selections > 0) {
            AtspiRange* range = atspi_text_get_selection(text_.get(), 0, error.out());
            if (error.failed() || !range) {
                g_free(range);
                return std::nullopt;
            }
            const gint start = std::min(range->start_offset, range->end_offset);
            const gint end = std::max(range->start_offset, range->end_offset);
            g_free(range);
            return TextRange{start, end - start};
        }
        const gint caret = atspi_text_get_caret_offset(text_.get(), error.out());
        if (error.failed() || caret < 0) {
            return std::nullopt;
        }
        return TextRange{caret, 0};
    }

    bool setValue(const std::string& text) override {
        if (!editable_) {
            return false;
        }
        RequestError error;
        const gboolean written = atspi_editable_text_set_text_contents(editable_.get(), text.c_str(), error.out());
        return written && !error.failed();
    }

    void setCaret(std::int64_t offset) override {
        if (text_) {
            RequestError error;
            atspi_text_set_caret_offset(text_.get(), static_cast<gint>(offset), error.out());
        }
    }

private:
    GObjectPtr<AtspiAccessible> object_;
    GObjectPtr<AtspiText> text_;
    GObjectPtr<AtspiEditableText> editable_;
};

}  // namespace

AtspiFocusedText::AtspiFocusedText() {
    // 0: connected now; 1: already connected by another part of the process.
    initialised_ = atspi_init() <= 1;
    if (initialised_) {
        atspi_set_timeout(requestTimeoutMs, applicationStartTimeoutMs);
    }
}

bool AtspiFocusedText::isAvailable() {
    return initialised_ && atspi_get_a11y_bus() != nullptr;
}

std::unique_ptr<FocusedTextElement> AtspiFocusedText::focusedElement() {
    if (!initialised_) {
        return nullptr;
    }
    GObjectPtr<AtspiAccessible> desktop{atspi_get_desktop(0)};
    if (!desktop) {
        return nullptr;
    }
    // States and children change without this process running the event loop that would
    // update the cache; ask the applications afresh.
    atspi_accessible_clear_cache(desktop.get());
    int budget = maxObjectsSearched;
    RequestError error;
    const gint applications = atspi_accessible_get_child_count(desktop.get(), error.out());
    for (gint a = 0; a < applications && !error.failed(); ++a) {
        RequestError applicationError;  // one application that went away does not end the search
        GObjectPtr<AtspiAccessible> application{
            atspi_accessible_get_child_at_index(desktop.get(), a, applicationError.out())};
        if (!application) {
            continue;
        }
        RequestError windowError;
        const gint windows = atspi_accessible_get_child_count(application.get(), windowError.out());
        for (gint w = 0; w < windows && !windowError.failed(); ++w) {
            GObjectPtr<AtspiAccessible> window{
                atspi_accessible_get_child_at_index(application.get(), w, windowError.out())};
            if (!window || !hasState(window.get(), ATSPI_STATE_ACTIVE)) {
                continue;
            }
            auto [answered, focused] = findFocusedThroughCollection(window.get());
            if (!answered) {
                focused = findFocused(window.get(), budget);
            }
            if (focused) {
                return std::make_unique<AtspiFocusedTextElement>(std::move(focused));
            }
        }
    }
    return nullptr;
}

}  // namespace quonvera
