// libshout is loaded when the first extra server connects, not at start: through Theora it pulls
// in cairo, X11, fontconfig and freetype, about 2 MiB resident that a studio without extra servers
// (the usual headless broadcast) never uses. The program does not link libshout; the functions
// the source clients call are defined here with libshout's own signatures and forward to the
// library's.
//
// Without the library, shout_init does nothing and shout_new and shout_metadata_new give null,
// which the source clients already report as a failed connection; they call nothing else without
// a handle from those two.

#include <shout/shout.h>

#include "platform/on_demand_library.h"

namespace {

brovana::OnDemandLibrary libshout("libshout.so.3");

}  // namespace

extern "C" {

void shout_init() {
  if (!libshout.loaded()) return;
  BROVANA_FORWARD(libshout, shout_init)();
}
shout_t* shout_new() {
  if (!libshout.loaded()) return nullptr;
  BROVANA_FORWARD(libshout, shout_new)();
}
shout_metadata_t* shout_metadata_new() {
  if (!libshout.loaded()) return nullptr;
  BROVANA_FORWARD(libshout, shout_metadata_new)();
}
void shout_free(shout_t* self) {
  BROVANA_FORWARD(libshout, shout_free)(self);
}
const char* shout_get_error(shout_t* self) {
  BROVANA_FORWARD(libshout, shout_get_error)(self);
}
int shout_get_errno(shout_t* self) {
  BROVANA_FORWARD(libshout, shout_get_errno)(self);
}
int shout_get_connected(shout_t* self) {
  BROVANA_FORWARD(libshout, shout_get_connected)(self);
}
int shout_set_host(shout_t* self, const char* host) {
  BROVANA_FORWARD(libshout, shout_set_host)(self, host);
}
int shout_set_port(shout_t* self, unsigned short port) {
  BROVANA_FORWARD(libshout, shout_set_port)(self, port);
}
int shout_set_agent(shout_t* self, const char* agent) {
  BROVANA_FORWARD(libshout, shout_set_agent)(self, agent);
}
int shout_set_tls(shout_t* self, int mode) {
  BROVANA_FORWARD(libshout, shout_set_tls)(self, mode);
}
int shout_set_user(shout_t* self, const char* username) {
  BROVANA_FORWARD(libshout, shout_set_user)(self, username);
}
int shout_set_password(shout_t* self, const char* password) {
  BROVANA_FORWARD(libshout, shout_set_password)(self, password);
}
int shout_set_mount(shout_t* self, const char* mount) {
  BROVANA_FORWARD(libshout, shout_set_mount)(self, mount);
}
int shout_set_audio_info(shout_t* self, const char* name, const char* value) {
  BROVANA_FORWARD(libshout, shout_set_audio_info)(self, name, value);
}
int shout_set_meta(shout_t* self, const char* name, const char* value) {
  BROVANA_FORWARD(libshout, shout_set_meta)(self, name, value);
}
int shout_set_content_format(shout_t* self, unsigned int format, unsigned int usage, const char* codecs) {
  BROVANA_FORWARD(libshout, shout_set_content_format)(self, format, usage, codecs);
}
int shout_set_protocol(shout_t* self, unsigned int protocol) {
  BROVANA_FORWARD(libshout, shout_set_protocol)(self, protocol);
}
int shout_set_nonblocking(shout_t* self, unsigned int nonblocking) {
  BROVANA_FORWARD(libshout, shout_set_nonblocking)(self, nonblocking);
}
int shout_set_callback(shout_t* self, shout_callback_t callback, void* userdata) {
  BROVANA_FORWARD(libshout, shout_set_callback)(self, callback, userdata);
}
int shout_open(shout_t* self) {
  BROVANA_FORWARD(libshout, shout_open)(self);
}
int shout_close(shout_t* self) {
  BROVANA_FORWARD(libshout, shout_close)(self);
}
ssize_t shout_send_raw(shout_t* self, const unsigned char* data, size_t len) {
  BROVANA_FORWARD(libshout, shout_send_raw)(self, data, len);
}
ssize_t shout_queuelen(shout_t* self) {
  BROVANA_FORWARD(libshout, shout_queuelen)(self);
}
int shout_set_metadata_utf8(shout_t* self, shout_metadata_t* metadata) {
  BROVANA_FORWARD(libshout, shout_set_metadata_utf8)(self, metadata);
}
void shout_metadata_free(shout_metadata_t* self) {
  BROVANA_FORWARD(libshout, shout_metadata_free)(self);
}
int shout_metadata_add(shout_metadata_t* self, const char* name, const char* value) {
  BROVANA_FORWARD(libshout, shout_metadata_add)(self, name, value);
}

}  // extern "C"
