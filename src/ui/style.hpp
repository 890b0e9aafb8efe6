#pragma once
// The program's look and pictures, all carried inside the binary: the stylesheet
// (a desk piece and a rack piece joined end to end) and the logo and icon PNGs.
#include <gdkmm/pixbuf.h>
#include <gdkmm/texture.h>
#include <glibmm/bytes.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/styleprovider.h>

#include <string>

namespace velmora::ui {

// GTK's application priority: above the theme, below the user's own settings.
constexpr int kStylePriority = GTK_STYLE_PROVIDER_PRIORITY_APPLICATION;
constexpr int kPictureSize = 48;

constexpr const char* kStyleDeskPath = "/org/velmora/Velmora/style-desk.css";
constexpr const char* kStyleRackPath = "/org/velmora/Velmora/style-rack.css";
constexpr const char* kLogoPath = "/org/velmora/Velmora/logo.png";
constexpr const char* kIconPath = "/org/velmora/Velmora/icon.png";

// The embedded file at `path`; empty when there is none.
Glib::RefPtr<const Glib::Bytes> embedded(const char* path);

// The whole stylesheet: the desk piece followed by the rack piece.
std::string stylesheet_text();
// Loads the stylesheet into a CSS provider on the default display at kStylePriority.
// Only the first call installs; later calls do nothing.
void install_stylesheet();

// A managed label carrying one CSS class: the widgets get their looks only through classes.
Gtk::Label* styled_label(const Glib::ustring& text, const Glib::ustring& css_class);

// Decodes PNG bytes with a pixbuf loader, ignoring write and close errors; empty when
// no picture results.
Glib::RefPtr<Gdk::Pixbuf> decode_png(const Glib::RefPtr<const Glib::Bytes>& png);

// The logo as a managed 48 × 48 image, or nullptr when it does not decode or scale.
Gtk::Image* logo_image(const Glib::RefPtr<const Glib::Bytes>& png = embedded(kLogoPath));
// The window icon scaled to 48 × 48 (unscaled when scaling fails); empty when it does not decode.
Glib::RefPtr<Gdk::Texture> icon_texture(const Glib::RefPtr<const Glib::Bytes>& png = embedded(kIconPath));

}  // namespace velmora::ui
