// velariumdemux: presents an ANIM file as one video stream by hosting the
// format reader extension. The reader gets the whole file through a byte
// source served from upstream (pulled where upstream allows it, otherwise
// collected while upstream pushes), and each of its samples, a finished
// picture, goes downstream as one buffer with the frame's own time.
#include "gstreamer/VelariumDemux.h"

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "gstreamer/ElementErrors.h"
#include "gstreamer/ExtensionHost.h"
#include "gstreamer/GstHandles.h"
#include "gstreamer/SampleCaps.h"
#include "gstreamer/SampleMemory.h"
#include "gstreamer/UpstreamByteSource.h"
#include "platform/mediaextension/ExtensionCall.h"
#include "platform/mediaextension/FrameTable.h"
#include "platform/mediaextension/MetadataItem.h"
#include "platform/mediaextension/SampleWalker.h"

GST_DEBUG_CATEGORY_STATIC(velarium_demux_debug);
#define GST_CAT_DEFAULT velarium_demux_debug

static GstStaticPadTemplate sinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/x-anim"));
// Named like every demuxer's stream pads, so that decodebin treats the
// element as one: a queue of its own behind it (decoding the file and
// decoding the pictures then run side by side), and the file reported as a
// container holding a video stream.
static GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("video_%u", GST_PAD_SRC, GST_PAD_SOMETIMES, GST_STATIC_CAPS("video/x-velarium-ilbm"));

// The pad functions and the streaming task, at the C edge below.
static gboolean velarium_demux_sink_activate(GstPad* pad, GstObject* parent);
static gboolean velarium_demux_sink_activate_mode(GstPad* pad, GstObject* parent, GstPadMode mode, gboolean active);
static GstFlowReturn velarium_demux_chain(GstPad* pad, GstObject* parent, GstBuffer* buffer);
static gboolean velarium_demux_sink_event(GstPad* pad, GstObject* parent, GstEvent* event);
static gboolean velarium_demux_src_event(GstPad* pad, GstObject* parent, GstEvent* event);
static gboolean velarium_demux_src_query(GstPad* pad, GstObject* parent, GstQuery* query);
static gboolean velarium_demux_src_activate_mode(GstPad* pad, GstObject* parent, GstPadMode mode, gboolean active);
static void velarium_demux_loop(gpointer demuxer);

namespace velarium::gst {
namespace {

// The format reader reads at most this much (100 MiB); collecting more of a
// pushed stream would only be thrown away, so it is handed over as soon as
// it is longer and the reader refuses it with its own error.
constexpr std::size_t kLargestReadableStream = 104'857'600;

constexpr const char* kVideoCodecName = "Amiga IFF ILBM";

}  // namespace

// The demuxer's state and behaviour; the GObject below only forwards to it.
class Demuxer {
public:
    Demuxer(GstElement* element, GstPad* sinkPad) : element_(element), sinkPad_(sinkPad) { reset(); }

    bool loadExtension() {
        Error error;
        if (animFormatReaderExtension(&error)) return true;
        postExtensionError(element_, GST_CORE_ERROR, GST_CORE_ERROR_MISSING_PLUGIN, error,
                           "The ANIM format reader is not available");
        return false;
    }

    // Back to the state of a new element: nothing read, nothing pushed.
    void reset() {
        GST_OBJECT_LOCK(element_);
        opened_ = false;
        pendingSeek_ = EventRef();
        gst_segment_init(&segment_, GST_FORMAT_TIME);
        GST_OBJECT_UNLOCK(element_);
        reader_.reset();
        track_.reset();
        walker_.reset();
        description_.reset();
        frames_ = FrameTable();
        duration_ = GST_CLOCK_TIME_NONE;
        collected_.clear();
        collected_.shrink_to_fit();
        taskPad_ = nullptr;
        index_ = 0;
        needSegment_ = true;
        discont_ = true;
        errorPosted_ = false;
        segmentSeqnum_ = gst_util_seqnum_next();
        globalTags_ = TagListRef();
        streamTags_ = TagListRef();
    }

    void removeSourcePad() {
        if (srcPad_) gst_element_remove_pad(element_, srcPad_);
        srcPad_ = nullptr;
    }

    // Pull mode where upstream offers random access, otherwise push.
    gboolean activateSink(GstPad* pad) {
        const QueryRef query(gst_query_new_scheduling());
        const bool pull = gst_pad_peer_query(pad, query.get()) &&
                          gst_query_has_scheduling_mode_with_flags(query.get(), GST_PAD_MODE_PULL,
                                                                   GST_SCHEDULING_FLAG_SEEKABLE);
        GST_DEBUG_OBJECT(element_, "activating in %s mode", pull ? "pull" : "push");
        return gst_pad_activate_mode(pad, pull ? GST_PAD_MODE_PULL : GST_PAD_MODE_PUSH, TRUE);
    }

    gboolean activateSinkMode(GstPad* pad, GstPadMode mode, gboolean active) {
        if (mode == GST_PAD_MODE_PULL) {
            if (!active) return gst_pad_stop_task(pad);
            taskPad_ = pad;
            return startTask();
        }
        return TRUE;
    }

    // Push mode: the stream is kept until its end, then read as a whole.
    GstFlowReturn collect(const BufferRef& buffer) {
        if (opened_) return GST_FLOW_EOS;
        if (collected_.empty()) {
            gint64 length = -1;
            if (gst_pad_peer_query_duration(sinkPad_, GST_FORMAT_BYTES, &length) && length > 0)
                collected_.reserve(std::min<std::size_t>(std::size_t(length), kLargestReadableStream + 1));
        }
        const std::size_t size = gst_buffer_get_size(buffer.get());
        const std::size_t at = collected_.size();
        collected_.resize(at + size);
        gst_buffer_extract(buffer.get(), 0, collected_.data() + at, size);
        if (collected_.size() <= kLargestReadableStream) return GST_FLOW_OK;
        GST_DEBUG_OBJECT(element_, "stream longer than the reader reads; handing it over now");
        openCollected();
        return GST_FLOW_ERROR;
    }

    // Upstream's segment, caps and flushes describe bytes; the element makes
    // its own stream of frames, and only the end of the stream matters.
    gboolean sinkEvent(EventRef event) {
        if (GST_EVENT_TYPE(event.get()) != GST_EVENT_EOS || opened_) return TRUE;
        if (errorPosted_) return FALSE;
        if (!openCollected()) return FALSE;
        taskPad_ = srcPad_;
        return startTask();
    }

    gboolean srcQuery(GstPad* pad, GstObject* parent, GstQuery* query) {
        switch (GST_QUERY_TYPE(query)) {
            case GST_QUERY_DURATION: {
                GstFormat format;
                gst_query_parse_duration(query, &format, nullptr);
                if (format != GST_FORMAT_TIME || !opened_) return FALSE;
                gst_query_set_duration(query, GST_FORMAT_TIME, gint64(duration_));
                return TRUE;
            }
            case GST_QUERY_POSITION: {
                GstFormat format;
                gst_query_parse_position(query, &format, nullptr);
                if (format != GST_FORMAT_TIME || !opened_) return FALSE;
                GST_OBJECT_LOCK(element_);
                const guint64 position = segment_.position;
                GST_OBJECT_UNLOCK(element_);
                gst_query_set_position(query, GST_FORMAT_TIME, gint64(position));
                return TRUE;
            }
            case GST_QUERY_SEEKING: {
                GstFormat format;
                gst_query_parse_seeking(query, &format, nullptr, nullptr, nullptr);
                if (format != GST_FORMAT_TIME) return FALSE;
                // Every frame is a whole picture, and in push mode the whole
                // stream is at hand: any time can be sought once open.
                gst_query_set_seeking(query, GST_FORMAT_TIME, opened_, 0, opened_ ? gint64(duration_) : -1);
                return TRUE;
            }
            default:
                return gst_pad_query_default(pad, parent, query);
        }
    }

    // Seeks from downstream or sent to the element. Before the file is open
    // a seek is kept and carried out as streaming starts.
    gboolean seek(EventRef event) {
        GST_OBJECT_LOCK(element_);
        if (!opened_) {
            pendingSeek_ = std::move(event);
            GST_OBJECT_UNLOCK(element_);
            GST_DEBUG_OBJECT(element_, "keeping a seek until the file is open");
            return TRUE;
        }
        GST_OBJECT_UNLOCK(element_);
        return performSeek(event.get());
    }

    // The streaming task: in pull mode its first turn reads the file; each
    // turn then pushes one frame.
    void loop() {
        if (!opened_ && !openPulled()) {
            gst_pad_pause_task(taskPad_);
            return;
        }
        const GstFlowReturn flow = pushFrame();
        if (flow != GST_FLOW_OK) pauseStreaming(flow);
    }

private:
    gboolean startTask() { return gst_pad_start_task(taskPad_, GST_DEBUG_FUNCPTR(velarium_demux_loop), this, nullptr); }

    bool openPulled() {
        auto source = PullByteSource::open(sinkPad_);
        if (!source) {
            postError(GST_STREAM_ERROR_DEMUX, Error(), "The stream does not tell its length");
            return false;
        }
        return open(source);
    }

    bool openCollected() {
        GST_DEBUG_OBJECT(element_, "collected %zu bytes", collected_.size());
        return open(std::make_shared<CollectedByteSource>(std::move(collected_)));
    }

    void postError(GstStreamError code, const Error& error, const char* fallback) {
        awaitEndOfTrial();
        postExtensionError(element_, GST_STREAM_ERROR, code, error, fallback);
        errorPosted_ = true;
    }

    // An autoplugging bin (decodebin, parsebin) tries a new element out with
    // its state locked and throws away the element's errors until it unlocks
    // it. In pull mode the streaming task starts during that trial, and a
    // file refused at once would lose its error and leave the pipeline
    // waiting forever; so an error waits for the trial to end (microseconds
    // in practice, bounded in case an application keeps the state locked).
    void awaitEndOfTrial() {
        constexpr gulong kPollMicroseconds = 500;
        constexpr int kLongestWait = 4000;  // polls: two seconds
        for (int polls = 0; polls < kLongestWait && gst_element_is_locked_state(element_) &&
                            !GST_PAD_IS_FLUSHING(sinkPad_);
             ++polls)
            g_usleep(kPollMicroseconds);
    }

    // Opens the format reader on `source` and readies the source pad; on
    // failure the reader's error is on the bus.
    bool open(const MEByteSourceRef& source) {
        Error error;
        auto extension = animFormatReaderExtension(&error);
        if (!extension) {
            postError(GST_STREAM_ERROR_DEMUX, error, "The ANIM format reader is not available");
            return false;
        }
        reader_ = extension->formatReaderWithByteSource(source, {}, &error);
        if (!reader_) {
            postError(GST_STREAM_ERROR_DEMUX, error, "The file could not be read as an ANIM file");
            return false;
        }
        if (!readMovie()) return false;
        addSourcePad();

        GST_OBJECT_LOCK(element_);
        segment_.duration = duration_;
        opened_ = true;
        EventRef pending = std::move(pendingSeek_);
        GST_OBJECT_UNLOCK(element_);
        if (pending) applySeek(pending.get());
        return true;
    }

    // The file's duration, comment and one video track with its format and frames.
    bool readMovie() {
        ExtensionCall<MEFileInfoRef> fileInfo;
        reader_->loadFileInfoWithCompletionHandler(fileInfo.handler());
        ExtensionCall<std::vector<MetadataItemRef>> metadata;
        reader_->loadMetadataWithCompletionHandler(metadata.handler());
        ExtensionCall<std::vector<METrackReaderRef>> tracks;
        reader_->loadTrackReadersWithCompletionHandler(tracks.handler());
        Error error;
        if (!tracks.succeeded(&error, "The file has no video track") || tracks.value.empty() || !tracks.value.front()) {
            postError(GST_STREAM_ERROR_DEMUX, error, "The file has no video track");
            return false;
        }
        track_ = tracks.value.front();
        ExtensionCall<METrackInfoRef> trackInfo;
        track_->loadTrackInfoWithCompletionHandler(trackInfo.handler());
        if (!trackInfo.succeeded(&error, "The video track has no format") ||
            trackInfo.value->formatDescriptions().empty() || !trackInfo.value->formatDescriptions().front()) {
            postError(GST_STREAM_ERROR_DEMUX, error, "The video track has no format");
            return false;
        }
        description_ = trackInfo.value->formatDescriptions().front();
        const VideoDimensions size = description_->dimensions();
        if (size.width <= 0 || size.height <= 0) {
            postError(GST_STREAM_ERROR_DEMUX, Error(), "The animation's picture is empty");
            return false;
        }
        walker_.emplace(track_);
        std::vector<SampleTime> times;
        if (!walker_->listSampleTimes(&times, &error)) {
            postError(GST_STREAM_ERROR_DEMUX, error, "The video track has no frames");
            return false;
        }
        frames_ = FrameTable(times);
        duration_ = fileInfo.value && fileInfo.value->duration().isNumeric() ? nanoseconds(fileInfo.value->duration())
                                                                              : frames_.end();
        GST_DEBUG_OBJECT(element_, "%dx%d, %zu frames, %" GST_TIME_FORMAT, size.width, size.height, frames_.count(),
                         GST_TIME_ARGS(duration_));

        globalTags_ = TagListRef(gst_tag_list_new_empty());
        gst_tag_list_set_scope(globalTags_.get(), GST_TAG_SCOPE_GLOBAL);
        for (const auto& item : metadata.value)
            if (item && item->identifier() == kMetadataIdentifierQuickTimeUserDataComment)
                gst_tag_list_add(globalTags_.get(), GST_TAG_MERGE_APPEND, GST_TAG_COMMENT, item->value().c_str(), nullptr);
        if (const auto name = dictionaryString(description_->extensions(), kCMFormatDescriptionExtension_FormatName))
            gst_tag_list_add(globalTags_.get(), GST_TAG_MERGE_REPLACE, GST_TAG_CONTAINER_FORMAT, name->c_str(), nullptr);
        streamTags_ = TagListRef(gst_tag_list_new(GST_TAG_VIDEO_CODEC, kVideoCodecName, nullptr));
        return true;
    }

    void addSourcePad() {
        srcPad_ = gst_pad_new_from_static_template(&srcTemplate, "video_0");
        gst_pad_set_event_function(srcPad_, GST_DEBUG_FUNCPTR(velarium_demux_src_event));
        gst_pad_set_query_function(srcPad_, GST_DEBUG_FUNCPTR(velarium_demux_src_query));
        gst_pad_set_activatemode_function(srcPad_, GST_DEBUG_FUNCPTR(velarium_demux_src_activate_mode));
        gst_pad_use_fixed_caps(srcPad_);
        gst_pad_set_active(srcPad_, TRUE);

        g_autofree gchar* streamId = gst_pad_create_stream_id(srcPad_, element_, "video");
        GstEvent* streamStart = gst_event_new_stream_start(streamId);
        gst_event_set_group_id(streamStart, gst_util_group_id_next());
        gst_pad_push_event(srcPad_, streamStart);
        const CapsRef caps = sampleCaps(*description_, frames_.frameRate());
        GST_DEBUG_OBJECT(element_, "caps %" GST_PTR_FORMAT, caps.get());
        gst_pad_set_caps(srcPad_, caps.get());

        gst_element_add_pad(element_, srcPad_);
        gst_element_no_more_pads(element_);
    }

    GstFlowReturn pushFrame() {
        if (needSegment_) {
            GstEvent* segment = gst_event_new_segment(&segment_);
            gst_event_set_seqnum(segment, segmentSeqnum_);
            gst_pad_push_event(srcPad_, segment);
            if (globalTags_) gst_pad_push_event(srcPad_, gst_event_new_tag(globalTags_.release()));
            if (streamTags_) gst_pad_push_event(srcPad_, gst_event_new_tag(streamTags_.release()));
            needSegment_ = false;
        }
        const std::size_t index = index_;
        if (index >= frames_.count()) return GST_FLOW_EOS;
        const GstClockTime start = frames_.start(index);
        if (GST_CLOCK_TIME_IS_VALID(segment_.stop) && start >= segment_.stop) return GST_FLOW_EOS;

        Error error;
        SampleBufferRef sample = walker_->loadSample(index, &error);
        BufferRef held = bufferWrappingSample(sample);
        if (!held) {
            postError(GST_STREAM_ERROR_DECODE, error, "A frame of the animation could not be read");
            return GST_FLOW_ERROR;
        }
        GstBuffer* buffer = held.get();
        GST_BUFFER_PTS(buffer) = start;
        GST_BUFFER_DTS(buffer) = start;
        GST_BUFFER_DURATION(buffer) = frames_.duration(index);
        GST_BUFFER_OFFSET(buffer) = index;
        GST_BUFFER_OFFSET_END(buffer) = index + 1;
        if (discont_) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
        discont_ = false;
        GST_OBJECT_LOCK(element_);
        segment_.position = start;
        GST_OBJECT_UNLOCK(element_);
        GST_LOG_OBJECT(element_, "frame %zu at %" GST_TIME_FORMAT, index, GST_TIME_ARGS(start));
        index_ = index + 1;
        return gst_pad_push(srcPad_, held.release());
    }

    void pauseStreaming(GstFlowReturn flow) {
        GST_DEBUG_OBJECT(element_, "pausing: %s", gst_flow_get_name(flow));
        gst_pad_pause_task(taskPad_);
        if (flow == GST_FLOW_EOS) {
            if (segment_.flags & GST_SEGMENT_FLAG_SEGMENT) {
                const gint64 stop = GST_CLOCK_TIME_IS_VALID(segment_.stop) ? gint64(segment_.stop) : gint64(duration_);
                GstMessage* message = gst_message_new_segment_done(GST_OBJECT(element_), GST_FORMAT_TIME, stop);
                gst_message_set_seqnum(message, segmentSeqnum_);
                gst_element_post_message(element_, message);
                GstEvent* done = gst_event_new_segment_done(GST_FORMAT_TIME, stop);
                gst_event_set_seqnum(done, segmentSeqnum_);
                gst_pad_push_event(srcPad_, done);
                return;
            }
            pushEndOfStream();
        } else if (flow == GST_FLOW_NOT_LINKED || flow < GST_FLOW_EOS) {
            if (!errorPosted_) GST_ELEMENT_FLOW_ERROR(element_, flow);
            pushEndOfStream();
        }
    }

    void pushEndOfStream() {
        GstEvent* eos = gst_event_new_eos();
        gst_event_set_seqnum(eos, segmentSeqnum_);
        gst_pad_push_event(srcPad_, eos);
    }

    // The segment and first frame a seek asks for. Every frame is a key
    // frame: a key-unit seek moves the segment's start to a frame's start.
    bool seekTarget(GstEvent* event, GstSegment* segment, std::size_t* index) const {
        gdouble rate;
        GstFormat format;
        GstSeekFlags flags;
        GstSeekType startType, stopType;
        gint64 start, stop;
        gst_event_parse_seek(event, &rate, &format, &flags, &startType, &start, &stopType, &stop);
        if (format != GST_FORMAT_TIME || rate <= 0.0) {
            GST_DEBUG_OBJECT(element_, "refusing a seek in %s at rate %f", gst_format_get_name(format), rate);
            return false;
        }
        const GstSegment before = *segment;
        gboolean update;
        if (!gst_segment_do_seek(segment, rate, format, flags, startType, start, stopType, stop, &update)) return false;
        std::size_t frame = frames_.frameAt(segment->position);
        if ((flags & GST_SEEK_FLAG_KEY_UNIT) && frame < frames_.count()) {
            const guint64 target = segment->position;
            if (target > frames_.start(frame) && frame + 1 < frames_.count()) {
                const bool after = flags & GST_SEEK_FLAG_SNAP_AFTER, nearest = after && (flags & GST_SEEK_FLAG_SNAP_BEFORE);
                if (nearest ? frames_.start(frame + 1) - target < target - frames_.start(frame) : after) ++frame;
            }
            *segment = before;
            gst_segment_do_seek(segment, rate, format, flags, GST_SEEK_TYPE_SET, gint64(frames_.start(frame)), stopType,
                                stop, &update);
        }
        *index = frame;
        return true;
    }

    // A seek on the streaming thread before the first frame.
    void applySeek(GstEvent* event) {
        GstSegment segment = segment_;
        std::size_t index = 0;
        if (!seekTarget(event, &segment, &index)) return;
        GST_OBJECT_LOCK(element_);
        segment_ = segment;
        GST_OBJECT_UNLOCK(element_);
        index_ = index;
        segmentSeqnum_ = gst_event_get_seqnum(event);
    }

    gboolean performSeek(GstEvent* event) {
        GstSeekFlags flags;
        gst_event_parse_seek(event, nullptr, nullptr, &flags, nullptr, nullptr, nullptr, nullptr);
        const bool flush = flags & GST_SEEK_FLAG_FLUSH;
        const guint32 seqnum = gst_event_get_seqnum(event);
        GST_DEBUG_OBJECT(element_, "seek %" GST_PTR_FORMAT, event);

        GST_OBJECT_LOCK(element_);
        GstSegment segment = segment_;
        GST_OBJECT_UNLOCK(element_);
        std::size_t index = 0;
        if (!seekTarget(event, &segment, &index)) return FALSE;

        // Flushing unblocks a streaming thread waiting downstream; without
        // a flush the current frame is let through first.
        if (flush) {
            GstEvent* start = gst_event_new_flush_start();
            gst_event_set_seqnum(start, seqnum);
            gst_pad_push_event(srcPad_, start);
        } else {
            gst_pad_pause_task(taskPad_);
        }
        GST_PAD_STREAM_LOCK(taskPad_);
        if (flush) {
            GstEvent* stop = gst_event_new_flush_stop(TRUE);
            gst_event_set_seqnum(stop, seqnum);
            gst_pad_push_event(srcPad_, stop);
        }
        GST_OBJECT_LOCK(element_);
        segment_ = segment;
        GST_OBJECT_UNLOCK(element_);
        index_ = index;
        needSegment_ = true;
        discont_ = true;
        segmentSeqnum_ = seqnum;
        if (segment.flags & GST_SEGMENT_FLAG_SEGMENT) {
            GstMessage* message = gst_message_new_segment_start(GST_OBJECT(element_), GST_FORMAT_TIME, segment.start);
            gst_message_set_seqnum(message, seqnum);
            gst_element_post_message(element_, message);
        }
        startTask();
        GST_PAD_STREAM_UNLOCK(taskPad_);
        return TRUE;
    }

    GstElement* element_;
    GstPad* sinkPad_;
    GstPad* srcPad_ = nullptr;
    GstPad* taskPad_ = nullptr;  // the pad whose task streams: sink (pull) or source (push)

    // Set once the reader is open; the reader, track, format and frame table
    // do not change after that until the element goes back to READY.
    std::atomic<bool> opened_{false};
    MEFormatReaderRef reader_;
    METrackReaderRef track_;
    VideoFormatDescriptionRef description_;
    FrameTable frames_;
    GstClockTime duration_ = GST_CLOCK_TIME_NONE;
    TagListRef globalTags_;
    TagListRef streamTags_;

    // Streaming state, changed by the task or under its pad's stream lock;
    // the segment is also read by queries, under the object lock.
    std::optional<SampleWalker> walker_;
    std::size_t index_ = 0;
    GstSegment segment_{};
    guint32 segmentSeqnum_ = 0;
    bool needSegment_ = true;
    bool discont_ = true;
    bool errorPosted_ = false;
    EventRef pendingSeek_;

    std::vector<std::uint8_t> collected_;  // push mode, until the end of the stream
};

}  // namespace velarium::gst

using velarium::gst::Demuxer;
using velarium::gst::BufferRef;
using velarium::gst::EventRef;

struct _VelariumDemux {
    GstElement parent;
    GstPad* sinkPad;
    Demuxer* demuxer;
};

G_DEFINE_TYPE(VelariumDemux, velarium_demux, GST_TYPE_ELEMENT)
GST_ELEMENT_REGISTER_DEFINE(velariumdemux, "velariumdemux", GST_RANK_PRIMARY, VELARIUM_TYPE_DEMUX)

static Demuxer* demuxerOf(gpointer element) { return VELARIUM_DEMUX(element)->demuxer; }

static gboolean velarium_demux_sink_activate(GstPad* pad, GstObject* parent) {
    return demuxerOf(parent)->activateSink(pad);
}

static gboolean velarium_demux_sink_activate_mode(GstPad* pad, GstObject* parent, GstPadMode mode, gboolean active) {
    return demuxerOf(parent)->activateSinkMode(pad, mode, active);
}

static GstFlowReturn velarium_demux_chain(GstPad*, GstObject* parent, GstBuffer* buffer) {
    return demuxerOf(parent)->collect(BufferRef(buffer));
}

static gboolean velarium_demux_sink_event(GstPad*, GstObject* parent, GstEvent* event) {
    return demuxerOf(parent)->sinkEvent(EventRef(event));
}

static gboolean velarium_demux_src_event(GstPad* pad, GstObject* parent, GstEvent* event) {
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEEK) return demuxerOf(parent)->seek(EventRef(event));
    return gst_pad_event_default(pad, parent, event);
}

static gboolean velarium_demux_src_query(GstPad* pad, GstObject* parent, GstQuery* query) {
    return demuxerOf(parent)->srcQuery(pad, parent, query);
}

// A task on the source pad (push mode) ends when the pad is deactivated.
static gboolean velarium_demux_src_activate_mode(GstPad* pad, GstObject*, GstPadMode, gboolean active) {
    return active ? TRUE : gst_pad_stop_task(pad);
}

static void velarium_demux_loop(gpointer demuxer) { static_cast<Demuxer*>(demuxer)->loop(); }

static GstStateChangeReturn velarium_demux_change_state(GstElement* element, GstStateChange transition) {
    Demuxer* demuxer = demuxerOf(element);
    if (transition == GST_STATE_CHANGE_NULL_TO_READY && !demuxer->loadExtension()) return GST_STATE_CHANGE_FAILURE;
    const GstStateChangeReturn result =
        GST_ELEMENT_CLASS(velarium_demux_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
        // The pads are inactive now, so no task runs.
        demuxer->removeSourcePad();
        demuxer->reset();
    }
    return result;
}

static gboolean velarium_demux_send_event(GstElement* element, GstEvent* event) {
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEEK) return demuxerOf(element)->seek(EventRef(event));
    return GST_ELEMENT_CLASS(velarium_demux_parent_class)->send_event(element, event);
}

static void velarium_demux_finalize(GObject* object) {
    delete demuxerOf(object);
    G_OBJECT_CLASS(velarium_demux_parent_class)->finalize(object);
}

static void velarium_demux_class_init(VelariumDemuxClass* klass) {
    GST_DEBUG_CATEGORY_INIT(velarium_demux_debug, "velariumdemux", 0, "Velarium ANIM demuxer");
    auto* elementClass = GST_ELEMENT_CLASS(klass);
    G_OBJECT_CLASS(klass)->finalize = velarium_demux_finalize;
    elementClass->change_state = GST_DEBUG_FUNCPTR(velarium_demux_change_state);
    elementClass->send_event = GST_DEBUG_FUNCPTR(velarium_demux_send_event);
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
    gst_element_class_set_static_metadata(elementClass, "Amiga IFF ANIM demuxer", "Codec/Demuxer",
                                          "Reads ANIM animations through the Velarium format reader extension",
                                          "Velarium");
}

static void velarium_demux_init(VelariumDemux* self) {
    self->sinkPad = gst_pad_new_from_static_template(&sinkTemplate, "sink");
    gst_pad_set_activate_function(self->sinkPad, GST_DEBUG_FUNCPTR(velarium_demux_sink_activate));
    gst_pad_set_activatemode_function(self->sinkPad, GST_DEBUG_FUNCPTR(velarium_demux_sink_activate_mode));
    gst_pad_set_chain_function(self->sinkPad, GST_DEBUG_FUNCPTR(velarium_demux_chain));
    gst_pad_set_event_function(self->sinkPad, GST_DEBUG_FUNCPTR(velarium_demux_sink_event));
    gst_element_add_pad(GST_ELEMENT(self), self->sinkPad);
    self->demuxer = new Demuxer(GST_ELEMENT(self), self->sinkPad);
}
