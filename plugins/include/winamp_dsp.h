/* The records a DSP plug-in shares with the studio that loads it: a shared object exports one
 * C function, winampDSPGetHeader2, which returns its header; the header names the plug-in and
 * hands out its modules one by one. Field order and types are the contract with plug-ins built
 * elsewhere, so nothing here may move. Window and instance handles are opaque pointers: the host
 * passes its own and the plug-in only hands them back. Valid C and C++. */
#ifndef BROVANA_WINAMP_DSP_H
#define BROVANA_WINAMP_DSP_H

#ifdef __cplusplus
extern "C" {
#endif

/* The header version this interface describes. */
#define WINAMP_DSP_HEADER_VERSION 0x20

/* The name the host looks the header function up by. */
#define WINAMP_DSP_HEADER_SYMBOL "winampDSPGetHeader2"

typedef struct winampDSPModule {
  char* description;  /* the module's name, NUL-terminated */
  void* hwndParent;   /* set by the host before Config: its main window, or null */
  void* hDllInstance; /* set by the host before Config: the loaded library */
  /* Lets the member adjust the module; called by the host right before Init. */
  void (*Config)(struct winampDSPModule* this_mod);
  /* Prepares the module; called once per launch, before the first block. */
  int (*Init)(struct winampDSPModule* this_mod);
  /* Processes `numsamples` frames of interleaved PCM of `bps` bits and `nch` channels at `srate`
   * Hz in place. The buffer has room for twice as many frames as it was given; the return value
   * is the number of frames it holds afterwards. */
  int (*ModifySamples)(struct winampDSPModule* this_mod, short int* samples, int numsamples, int bps, int nch,
                       int srate);
  /* Releases what Init took; no call follows until the next Config and Init. */
  void (*Quit)(struct winampDSPModule* this_mod);
  void* userData; /* the plug-in's own; the host sets it to null before Config */
} winampDSPModule;

typedef struct winampDSPHeader {
  int version;       /* WINAMP_DSP_HEADER_VERSION */
  char* description; /* the plug-in's name, NUL-terminated */
  /* Module `which`, counted from 0; null past the last one. */
  winampDSPModule* (*getModule)(int which);
} winampDSPHeader;

typedef winampDSPHeader* (*winampDSPGetHeaderType)(void);

#ifdef __cplusplus
}
#endif

#endif /* BROVANA_WINAMP_DSP_H */
