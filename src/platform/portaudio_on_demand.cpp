// PortAudio, and JACK and Berkeley DB behind it (about 0.5 MiB resident), are loaded when the
// first sound stream starts or a mixer asks for quiet, not at start: a headless broadcast without
// a sound card never uses them. The program links neither; the functions it calls are defined
// here with the libraries' own signatures and forward to theirs.
//
// Without PortAudio, Pa_Initialize fails with a text that names the library, and nothing else is
// called, since every other call follows a started session. Without JACK, asking it for quiet does
// nothing: nothing of it can speak then.

#include <jack/jack.h>
#include <pa_linux_alsa.h>
#include <portaudio.h>

#include "platform/on_demand_library.h"

namespace {

brovana::OnDemandLibrary portaudio("libportaudio.so.2");
brovana::OnDemandLibrary jack("libjack.so.0");

}  // namespace

extern "C" {

PaError Pa_Initialize() {
  if (!portaudio.loaded()) return paNotInitialized;
  BROVANA_FORWARD(portaudio, Pa_Initialize)();
}
const char* Pa_GetErrorText(PaError errorCode) {
  if (!portaudio.loaded()) return "libportaudio.so.2 cannot be loaded";
  BROVANA_FORWARD(portaudio, Pa_GetErrorText)(errorCode);
}
PaError Pa_Terminate() {
  BROVANA_FORWARD(portaudio, Pa_Terminate)();
}
PaDeviceIndex Pa_GetDeviceCount() {
  BROVANA_FORWARD(portaudio, Pa_GetDeviceCount)();
}
PaDeviceIndex Pa_GetDefaultInputDevice() {
  BROVANA_FORWARD(portaudio, Pa_GetDefaultInputDevice)();
}
PaDeviceIndex Pa_GetDefaultOutputDevice() {
  BROVANA_FORWARD(portaudio, Pa_GetDefaultOutputDevice)();
}
const PaDeviceInfo* Pa_GetDeviceInfo(PaDeviceIndex device) {
  BROVANA_FORWARD(portaudio, Pa_GetDeviceInfo)(device);
}
PaError Pa_IsFormatSupported(const PaStreamParameters* inputParameters,
                             const PaStreamParameters* outputParameters, double sampleRate) {
  BROVANA_FORWARD(portaudio, Pa_IsFormatSupported)(inputParameters, outputParameters, sampleRate);
}
PaError Pa_OpenStream(PaStream** stream, const PaStreamParameters* inputParameters,
                      const PaStreamParameters* outputParameters, double sampleRate,
                      unsigned long framesPerBuffer, PaStreamFlags streamFlags,
                      PaStreamCallback* streamCallback, void* userData) {
  BROVANA_FORWARD(portaudio, Pa_OpenStream)
  (stream, inputParameters, outputParameters, sampleRate, framesPerBuffer, streamFlags, streamCallback,
   userData);
}
PaError Pa_CloseStream(PaStream* stream) {
  BROVANA_FORWARD(portaudio, Pa_CloseStream)(stream);
}
PaError Pa_StartStream(PaStream* stream) {
  BROVANA_FORWARD(portaudio, Pa_StartStream)(stream);
}
PaError Pa_AbortStream(PaStream* stream) {
  BROVANA_FORWARD(portaudio, Pa_AbortStream)(stream);
}
PaError Pa_ReadStream(PaStream* stream, void* buffer, unsigned long frames) {
  BROVANA_FORWARD(portaudio, Pa_ReadStream)(stream, buffer, frames);
}
PaError Pa_WriteStream(PaStream* stream, const void* buffer, unsigned long frames) {
  BROVANA_FORWARD(portaudio, Pa_WriteStream)(stream, buffer, frames);
}
void PaAlsa_InitializeStreamInfo(PaAlsaStreamInfo* info) {
  BROVANA_FORWARD(portaudio, PaAlsa_InitializeStreamInfo)(info);
}

void jack_set_error_function(void (*func)(const char*)) {
  if (!jack.loaded()) return;
  BROVANA_FORWARD(jack, jack_set_error_function)(func);
}
void jack_set_info_function(void (*func)(const char*)) {
  if (!jack.loaded()) return;
  BROVANA_FORWARD(jack, jack_set_info_function)(func);
}

}  // extern "C"
