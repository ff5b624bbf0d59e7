#pragma once
// Typing into a GTK widget with synthesized key events, for the stand-in messenger and the GUI
// tests: each key is a GdkEventKey press and release on the widget's toplevel window, delivered
// through gtk_main_do_event exactly as GTK delivers the events it reads from the display, so the
// toplevel's key handling, the focus widget's input method and a WebKitWebView's page (its
// keydown/keypress/input listeners, the default action of the key) all see a real key stroke.
// No page script and no command is called.
//
// How characters are typed:
// - A character on the keyboard map (ASCII on the usual layouts) is sent with its keycode,
//   group and the Shift state its level needs, as the keyboard would send it.
// - Any other character (Chinese, Japanese, emoji ...) is sent as the Unicode keyval of
//   gdk_unicode_to_keyval with no keycode; GTK's default input method commits such a keyval as
//   that character, so the widget receives it as typed, committed text.
// - "\n" (and "\r\n", "\r") is Shift+Enter: a line break in a chat input whose plain Enter sends.
//
// Limits:
// - There is no input-method composition: no preedit, `isComposing` is never true, and an
//   input method that swallows Unicode keyvals (some IBus engines do) would type nothing. The
//   default GTK input method (what a bare Xvfb session has) commits them; GTK_IM_MODULE selects
//   another.
// - Other control characters (tab, NUL ...) are not typed: the call fails before sending any.
// - Focus: the widget is given the keyboard focus of its toplevel; a toplevel without the input
//   focus is presented (raised and given the X input focus, as a click into it would; no window
//   manager is needed) and told at once by a synthesized focus-in event. After a focus change
//   the calls run the main loop's pending sources (never waiting), so that a WebKitWebView's
//   web process learns of the focus before the first key arrives; without that the first key
//   would be dropped.
// - The events are delivered synchronously; what the receiver does with them may be
//   asynchronous (a WebKitWebView hands them to its web process): run the main loop before
//   reading the result.

#include <gdk/gdk.h>

#include <string_view>

typedef struct _GtkWidget GtkWidget;

namespace brevant::gtk_keys {

// Types `utf8` into `widget`, one press and release per character. False, with nothing typed,
// when the widget is not realized inside a toplevel, the text is not valid UTF-8 or holds a
// character that cannot be typed (see above).
bool type_text(GtkWidget* widget, std::string_view utf8);

// Presses and releases one key (GDK_KEY_Return, GDK_KEY_BackSpace, GDK_KEY_a ...) with
// `modifiers` held (GDK_SHIFT_MASK, GDK_CONTROL_MASK ...). False when the widget is not
// realized inside a toplevel or `keyval` is 0.
bool press_key(GtkWidget* widget, guint keyval, GdkModifierType modifiers = GdkModifierType{});

}  // namespace brevant::gtk_keys
