#pragma once

#include <pulse/pulseaudio.h>

#include <QString>

namespace hy {

// The functions of PulseAudio's client library that the program calls.
#define HY_PULSE_FUNCTIONS(X)                                                                      \
    X(bytes_per_second)                                                                            \
    X(bytes_to_usec)                                                                               \
    X(context_connect)                                                                             \
    X(context_disconnect)                                                                          \
    X(context_errno)                                                                               \
    X(context_get_sink_info_list)                                                                  \
    X(context_get_sink_input_info)                                                                 \
    X(context_get_state)                                                                           \
    X(context_new_with_proplist)                                                                   \
    X(context_set_sink_input_volume)                                                               \
    X(context_set_state_callback)                                                                  \
    X(context_set_subscribe_callback)                                                              \
    X(context_subscribe)                                                                           \
    X(context_unref)                                                                               \
    X(cvolume_max)                                                                                 \
    X(cvolume_set)                                                                                 \
    X(frame_size)                                                                                  \
    X(gettimeofday)                                                                                \
    X(operation_cancel)                                                                            \
    X(operation_get_state)                                                                         \
    X(operation_unref)                                                                             \
    X(proplist_free)                                                                               \
    X(proplist_new)                                                                                \
    X(proplist_sets)                                                                               \
    X(sample_spec_valid)                                                                           \
    X(stream_connect_playback)                                                                     \
    X(stream_disconnect)                                                                           \
    X(stream_drain)                                                                                \
    X(stream_flush)                                                                                \
    X(stream_get_buffer_attr)                                                                      \
    X(stream_get_index)                                                                            \
    X(stream_get_sample_spec)                                                                      \
    X(stream_get_state)                                                                            \
    X(stream_get_timing_info)                                                                      \
    X(stream_new_with_proplist)                                                                    \
    X(stream_set_latency_update_callback)                                                          \
    X(stream_set_state_callback)                                                                   \
    X(stream_set_write_callback)                                                                   \
    X(stream_unref)                                                                                \
    X(stream_update_timing_info)                                                                   \
    X(stream_write)                                                                                \
    X(strerror)                                                                                    \
    X(sw_volume_from_linear)                                                                       \
    X(sw_volume_to_linear)                                                                         \
    X(threaded_mainloop_free)                                                                      \
    X(threaded_mainloop_get_api)                                                                   \
    X(threaded_mainloop_lock)                                                                      \
    X(threaded_mainloop_new)                                                                       \
    X(threaded_mainloop_once_unlocked)                                                             \
    X(threaded_mainloop_signal)                                                                    \
    X(threaded_mainloop_start)                                                                     \
    X(threaded_mainloop_stop)                                                                      \
    X(threaded_mainloop_unlock)                                                                    \
    X(threaded_mainloop_wait)                                                                      \
    X(timeval_add)

// PulseAudio's client library, loaded when sound is first wanted rather than
// at the program's start: it and the codecs it brings along (through
// libsndfile) cost a program that only shows the time about 1.5 MiB and a
// dozen libraries to load. pa().stream_write(...) calls pa_stream_write.
struct PulseApi
{
#define HY_DECLARE(fn) decltype(&::pa_##fn) fn = nullptr;
    HY_PULSE_FUNCTIONS(HY_DECLARE)
#undef HY_DECLARE
};

// Loads the library on the first call, from any thread; null when it cannot
// be loaded or lacks a function, with the reason in pulseLoadError().
const PulseApi* loadPulse();
QString pulseLoadError();
// The loaded library; only after loadPulse() gave one.
const PulseApi& pa();

} // namespace hy
