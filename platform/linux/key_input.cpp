#include "platform/linux/key_input.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace brevant::gtk_keys {
namespace {

// One key stroke as the keyboard would report it.
struct Stroke {
  guint keyval = 0;
  guint16 keycode = 0;  // 0: not on the keyboard map (typed through the input method)
  guint8 group = 0;
  GdkModifierType state = GdkModifierType{};
  std::string text;  // the legacy `string` field: what the key types, if anything
};

// The realized toplevel window that receives the widget's key events, or nullptr.
GdkWindow* toplevel_window(GtkWidget* widget) {
  if (!widget)
    return nullptr;
  GtkWidget* top = gtk_widget_get_toplevel(widget);
  if (!gtk_widget_is_toplevel(top) || !gtk_widget_get_realized(top))
    return nullptr;
  return gtk_widget_get_window(top);
}

GdkDevice* keyboard_of(GdkWindow* window) {
  GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(window));
  return seat ? gdk_seat_get_keyboard(seat) : nullptr;
}

// Keycode, group and the Shift level a keyval has on the keyboard map; none for a keyval the
// map does not hold.
Stroke stroke_for(GdkWindow* window, guint keyval, GdkModifierType modifiers) {
  Stroke s;
  s.keyval = keyval;
  s.state = modifiers;
  GdkKeymap* keymap = gdk_keymap_get_for_display(gdk_window_get_display(window));
  GdkKeymapKey* keys = nullptr;
  gint count = 0;
  if (gdk_keymap_get_entries_for_keyval(keymap, keyval, &keys, &count) && count > 0) {
    // Prefer the first group, and the lowest level within it.
    const GdkKeymapKey* best = &keys[0];
    for (gint i = 1; i < count; ++i) {
      const GdkKeymapKey& k = keys[i];
      if (k.group < best->group || (k.group == best->group && k.level < best->level))
        best = &k;
    }
    s.keycode = static_cast<guint16>(best->keycode);
    s.group = static_cast<guint8>(best->group);
    if (best->level == 1)
      s.state = static_cast<GdkModifierType>(s.state | GDK_SHIFT_MASK);
  }
  g_free(keys);
  const gunichar ch = gdk_keyval_to_unicode(keyval);
  if (ch != 0 && !g_unichar_iscntrl(ch) && !(modifiers & (GDK_CONTROL_MASK | GDK_MOD1_MASK))) {
    char buffer[8];
    s.text.assign(buffer, static_cast<std::size_t>(g_unichar_to_utf8(ch, buffer)));
  }
  return s;
}

void deliver(GdkWindow* window, GdkEventType type, const Stroke& s, bool is_modifier) {
  GdkEvent* event = gdk_event_new(type);
  GdkEventKey& key = event->key;
  key.window = GDK_WINDOW(g_object_ref(window));
  key.send_event = FALSE;  // as read from the display, not as sent by another client
  key.time = static_cast<guint32>(g_get_monotonic_time() / 1000);
  key.state = s.state;
  key.keyval = s.keyval;
  key.string = g_strdup(s.text.c_str());
  key.length = static_cast<gint>(s.text.size());
  key.hardware_keycode = s.keycode;
  key.group = s.group;
  key.is_modifier = is_modifier ? 1 : 0;
  if (GdkDevice* keyboard = keyboard_of(window))
    gdk_event_set_device(event, keyboard);
  gtk_main_do_event(event);
  gdk_event_free(event);  // also unrefs the window and frees the string
}

// The modifier keys a stroke holds, pressed before it and released after it in reverse.
struct ModifierKey {
  GdkModifierType mask;
  guint keyval;
};
constexpr ModifierKey kModifierKeys[] = {
    {GDK_CONTROL_MASK, GDK_KEY_Control_L},
    {GDK_MOD1_MASK, GDK_KEY_Alt_L},
    {GDK_SHIFT_MASK, GDK_KEY_Shift_L},
};

void stroke(GdkWindow* window, const Stroke& s) {
  // Each modifier's own press carries the modifiers held before it, as X reports them.
  std::vector<Stroke> held;
  GdkModifierType state = GdkModifierType{};
  for (const ModifierKey& m : kModifierKeys) {
    if (!(s.state & m.mask))
      continue;
    Stroke mod = stroke_for(window, m.keyval, state);
    mod.state = state;
    mod.text.clear();
    deliver(window, GDK_KEY_PRESS, mod, true);
    state = static_cast<GdkModifierType>(state | m.mask);
    mod.state = state;
    held.push_back(mod);
  }
  deliver(window, GDK_KEY_PRESS, s, false);
  deliver(window, GDK_KEY_RELEASE, s, false);
  for (auto it = held.rbegin(); it != held.rend(); ++it)
    deliver(window, GDK_KEY_RELEASE, *it, true);
}

// Gives the widget its toplevel's keyboard focus and the toplevel the input focus.
void focus(GtkWidget* widget, GdkWindow* window) {
  bool changed = false;
  if (gtk_widget_get_can_focus(widget) && !gtk_widget_has_focus(widget)) {
    gtk_widget_grab_focus(widget);
    changed = true;
  }
  GtkWidget* top = gtk_widget_get_toplevel(widget);
  if (GTK_IS_WINDOW(top) && !gtk_window_has_toplevel_focus(GTK_WINDOW(top))) {
    // Ask for the real input focus (without a window manager X gives it at once, but its
    // focus-in event comes later) and tell GTK now, so that the keys sent next are not dropped.
    gtk_window_present(GTK_WINDOW(top));
    GdkEvent* event = gdk_event_new(GDK_FOCUS_CHANGE);
    event->focus_change.window = GDK_WINDOW(g_object_ref(window));
    event->focus_change.send_event = FALSE;
    event->focus_change.in = TRUE;
    if (GdkDevice* keyboard = keyboard_of(window))
      gdk_event_set_device(event, keyboard);
    gtk_main_do_event(event);
    gdk_event_free(event);
    changed = true;
  }
  // A WebKitWebView tells its web process about a focus change from an idle callback; keys
  // that overtook that message would reach an unfocused page and be dropped. Run what is due
  // now (without waiting for anything) so that the focus change goes first.
  for (int i = 0; changed && i < 100 && g_main_context_pending(nullptr); ++i)
    g_main_context_iteration(nullptr, FALSE);
}

}  // namespace

bool type_text(GtkWidget* widget, std::string_view utf8) {
  GdkWindow* window = toplevel_window(widget);
  if (!window)
    return false;
  const char* end = nullptr;
  if (!g_utf8_validate(utf8.data(), static_cast<gssize>(utf8.size()), &end))
    return false;
  // Every character is checked before the first one is sent, so a failure types nothing.
  std::vector<Stroke> strokes;
  for (const char* p = utf8.data(); p < utf8.data() + utf8.size(); p = g_utf8_next_char(p)) {
    const gunichar ch = g_utf8_get_char(p);
    if (ch == '\r' || ch == '\n') {
      if (ch == '\r' && p + 1 < utf8.data() + utf8.size() && p[1] == '\n')
        continue;  // "\r\n" is one line break
      strokes.push_back(stroke_for(window, GDK_KEY_Return, GDK_SHIFT_MASK));
      continue;
    }
    if (g_unichar_iscntrl(ch))
      return false;
    const guint keyval = gdk_unicode_to_keyval(ch);
    if (keyval == 0 || gdk_keyval_to_unicode(keyval) != ch)
      return false;
    strokes.push_back(stroke_for(window, keyval, GdkModifierType{}));
  }
  focus(widget, window);
  for (const Stroke& s : strokes)
    stroke(window, s);
  return true;
}

bool press_key(GtkWidget* widget, guint keyval, GdkModifierType modifiers) {
  GdkWindow* window = toplevel_window(widget);
  if (!window || keyval == 0)
    return false;
  focus(widget, window);
  stroke(window, stroke_for(window, keyval, modifiers));
  return true;
}

}  // namespace brevant::gtk_keys
