#pragma once

// ORVAudioDriver is built with hidden visibility; only what carries this mark is exported.
#if defined(_WIN32)
#if defined(ORVAUDIODRIVER_BUILD)
#define ORV_AUDIODRIVER_EXPORT __declspec(dllexport)
#else
#define ORV_AUDIODRIVER_EXPORT __declspec(dllimport)
#endif
#else
#define ORV_AUDIODRIVER_EXPORT __attribute__((visibility("default")))
#endif
