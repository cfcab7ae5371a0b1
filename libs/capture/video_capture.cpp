#include "libs/capture/video_capture.h"

#include <linux/videodev2.h>

#include "base/debug_log.h"
#include "libs/capture/capture_format_choice.h"
#include "libs/capture/device_property_dialog.h"
#include "libs/capture/gst_runtime.h"

namespace {
std::string sizeCaps(const char* media, int width, int height) {
    std::string caps = media;
    if (width > 0 && height > 0) {
        caps += ",width=" + std::to_string(width) + ",height=" + std::to_string(height);
    }
    return caps;
}
}  // namespace

VideoCapture::VideoCapture() { ensureGStreamer(); }

VideoCapture::~VideoCapture() { UnInit(); }

int VideoCapture::Init(int captureWidth, int captureHeight, int outWidth, int outHeight,
                       unsigned deviceIndex) {
    auto devices = listCaptureDevices();
    if (deviceIndex >= devices.size()) {
        InitDevice(captureWidth, captureHeight, outWidth, outHeight, CaptureDevice{});
        initialised_ = false;
        debugLog("capture, no camera number %u", deviceIndex);
        return -1;
    }
    return InitDevice(captureWidth, captureHeight, outWidth, outHeight, devices[deviceIndex]);
}

int VideoCapture::InitDevice(int captureWidth, int captureHeight, int outWidth, int outHeight,
                             const CaptureDevice& device) {
    UnInit();
    captureWidth_ = captureWidth;
    captureHeight_ = captureHeight;
    outWidth_ = outWidth;
    outHeight_ = outHeight;
    delivery_ = std::make_unique<FrameDelivery>(outWidth, outHeight);
    delivery_->setLatencyObserver(latencyObserver_, latencyContext_);
    delivery_->setReceiver(receiver_);
    device_ = device;
    initialised_ = true;
    return 0;
}

int VideoCapture::Advise(ISimplyCallBack* receiver) {
    receiver_ = receiver;
    if (delivery_) {
        delivery_->setReceiver(receiver);
    }
    return 0;
}

std::optional<CaptureFormat> VideoCapture::ChosenFormat() const {
    if (wantedRate_ <= 0) {
        return std::nullopt;
    }
    return chooseCaptureFormat(device_.formats, captureWidth_, captureHeight_, wantedRate_);
}

std::string VideoCapture::testCameraSource(int width, int height, int fps, bool jpeg) const {
    std::string source =
        "videotestsrc name=src is-live=true pattern=" + std::to_string(device_.testPattern) +
        " ! video/x-raw,width=" + std::to_string(width) + ",height=" + std::to_string(height) +
        ",framerate=" + std::to_string(fps) + "/1";
    if (jpeg) {
        // From RGB, so the encoder makes full-range JPEG as a camera does.
        return source + ",format=RGB ! jpegenc ! image/jpeg ! jpegdec";
    }
    return source + ",format=YUY2";
}

std::string VideoCapture::pipelineDescription() const {
    // Scaling keeps the picture's proportions, with black borders where they differ.
    std::string tail = " ! videoscale name=scale ! videoconvert ! video/x-raw,format=BGRx,width=" +
                       std::to_string(outWidth_) + ",height=" + std::to_string(outHeight_) +
                       ",pixel-aspect-ratio=1/1 ! appsink name=sink sync=false";
    if (std::optional<CaptureFormat> chosen = ChosenFormat()) {
        bool jpeg = chosen->fourcc == V4L2_PIX_FMT_MJPEG;
        if (device_.isTestCamera()) {
            int fps = chosen->maxFps > 0 ? chosen->maxFps : 30;
            return testCameraSource(chosen->width, chosen->height, fps, jpeg) + tail;
        }
        return "v4l2src name=src device=\"" + device_.path + "\" ! capsfilter caps=\"" +
               sizeCaps(jpeg ? "image/jpeg" : "video/x-raw", chosen->width, chosen->height) +
               "\" ! decodebin" + tail;
    }
    if (!device_.isTestCamera()) {
        return "v4l2src name=src device=\"" + device_.path + "\" ! capsfilter caps=\"" +
               sizeCaps("video/x-raw", captureWidth_, captureHeight_) + ";" +
               sizeCaps("image/jpeg", captureWidth_, captureHeight_) + "\" ! decodebin" + tail;
    }
    // A test camera delivers its large size as MJPG, as USB webcams do.
    int width = captureWidth_ > 0 ? captureWidth_ : 640;
    int height = captureHeight_ > 0 ? captureHeight_ : 480;
    return testCameraSource(width, height, 30, width >= 1280) + tail;
}

int VideoCapture::Start() {
    if (pipeline_ != nullptr && !failed_) {
        return 0;
    }
    teardown();  // a pipeline that failed (the camera was pulled out) is not reused
    if (!initialised_ || !ensureGStreamer()) {
        return -1;
    }
    GError* error = nullptr;
    pipeline_ = gst_parse_launch(pipelineDescription().c_str(), &error);
    if (pipeline_ == nullptr || error != nullptr) {
        debugLog("capture, cannot build the camera pipeline: %s", error ? error->message : "?");
        g_clear_error(&error);
        teardown();
        return -2;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
    delivery_->attach(sink);
    gst_object_unref(sink);
    GstElement* scale = gst_bin_get_by_name(GST_BIN(pipeline_), "scale");
    delivery_->attachDecodeProbe(scale);
    gst_object_unref(scale);
    failed_ = false;
    delivery_->setEnabled(true);
    holdBackWarmup();
    bus_.start(pipeline_, [this](GstMessage* message, GstBus*) { onBusMessage(message); });
    // A device that is missing or no camera is refused here, when it is
    // opened. One that is busy or stops delivering fails later, on the
    // streaming thread: the receiver gets MSG_STREAM_END then. Waiting for the
    // first frame here would stall the calling thread (the user interface)
    // for as long as a slow camera warms up.
    ++startedPipelines_;
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE ||
        failed_) {
        debugLog("capture, %s could not start", device_.name.c_str());
        teardown();
        failed_ = true;
        return -3;
    }
    return 0;
}

void VideoCapture::holdBackWarmup() {
    if (device_.warmupMs <= 0) {
        return;
    }
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline_), "src");
    GstPad* pad = gst_element_get_static_pad(source, "src");
    warmupEnds_ = g_get_monotonic_time() + static_cast<gint64>(device_.warmupMs) * 1000;
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo*, gpointer self) {
            auto* capture = static_cast<VideoCapture*>(self);
            if (g_get_monotonic_time() < capture->warmupEnds_) {
                return GST_PAD_PROBE_DROP;
            }
            return GST_PAD_PROBE_REMOVE;
        },
        this, nullptr);
    gst_object_unref(pad);
    gst_object_unref(source);
}

void VideoCapture::onBusMessage(GstMessage* message) {
    if (message == nullptr || GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR) {
        return;
    }
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    debugLog("capture, %s: %s", device_.name.c_str(), error ? error->message : "?");
    g_clear_error(&error);
    // The device is gone or refuses to stream: nothing more will come, and
    // the receiver is told so (its picture is no longer live).
    bool wasRunning = !failed_.exchange(true);
    delivery_->setEnabled(false);
    if (wasRunning) {
        delivery_->sendMessage(MSG_STREAM_END);
    }
}

bool VideoCapture::PullOutTestCamera() {
    if (!device_.isTestCamera() || pipeline_ == nullptr) {
        return false;
    }
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline_), "src");
    GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ,
                                        "Could not read from resource.");
    bool posted = gst_element_post_message(
        source, gst_message_new_error(GST_OBJECT(source), error, "the test camera was pulled out"));
    g_error_free(error);
    gst_object_unref(source);
    return posted;
}

int VideoCapture::Stop() {
    teardown();
    return 0;
}

void VideoCapture::teardown() {
    if (delivery_) {
        delivery_->setEnabled(false);
    }
    bus_.stop();
    if (pipeline_ != nullptr) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
        pipeline_ = nullptr;
    }
}

int VideoCapture::UnInit() {
    teardown();
    initialised_ = false;
    device_ = CaptureDevice{};
    return 0;
}

void VideoCapture::ShowProperty(QWidget* parent) {
    DevicePropertyDialog dialog(this, parent);
    dialog.exec();
}

void VideoCapture::SetTestPattern(int pattern) {
    if (!device_.isTestCamera() || pattern < 0) {
        return;
    }
    device_.testPattern = pattern;
    if (pipeline_ != nullptr) {
        GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline_), "src");
        g_object_set(source, "pattern", pattern, nullptr);
        gst_object_unref(source);
    }
}

uint64_t VideoCapture::DeliveredFrames() const {
    return delivery_ ? delivery_->deliveredFrames() : 0;
}

void VideoCapture::SetLatencyObserver(FrameDelivery::LatencyObserver observer, void* context) {
    latencyObserver_ = observer;
    latencyContext_ = context;
    if (delivery_) {
        delivery_->setLatencyObserver(observer, context);
    }
}
