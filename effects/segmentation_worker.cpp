#include "effects/segmentation_worker.h"

#include <opencv2/imgproc.hpp>

#include <chrono>
#include <utility>

namespace {
// The guided filter's window radius at the guide size (a quarter of the frame
// at the default hand-over), and its regularisation: edges of the grey
// picture weaker than about sqrt(kEpsilon) do not bend the mask.
constexpr int kGuideRadius = 1;
constexpr float kEpsilon = 0.005f;
// The network's soft edge is steepened: probabilities from kLow to kHigh
// spread over the whole range.
constexpr float kLow = 0.35f;
constexpr float kHigh = 0.65f;
// Where the probability stays above kSure (below 1 - kSure) over the whole
// window, the mask is 1 (0) whatever the picture shows there.
constexpr float kSure = 0.8f;
// A cell whose refined mask is above kSurelyOne (below kSurelyZero) for any
// grey rounds to 255 (0) at every pixel.
constexpr float kSurelyOne = 0.999f;
constexpr float kSurelyZero = 0.001f;

cv::Mat boxMean(const cv::Mat& image) {
    cv::Mat mean;
    cv::boxFilter(image, mean, CV_32F, cv::Size(2 * kGuideRadius + 1, 2 * kGuideRadius + 1),
                  cv::Point(-1, -1), true, cv::BORDER_REFLECT);
    return mean;
}
}  // namespace

SegmentationWorker::SegmentationWorker() = default;

SegmentationWorker::~SegmentationWorker() {
    {
        std::lock_guard<std::mutex> guard(handOver_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

cv::dnn::Net SegmentationWorker::load(const SegmentationModel& model, std::string* problem) {
    cv::dnn::Net net;
    try {
        net = cv::dnn::readNetFromONNX(model.path);
        if (net.empty()) {
            *problem = "the file holds no network";
            return {};
        }
        net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
        // One run on a grey picture proves the shapes before the first frame.
        const cv::Mat grey(model.height, model.width, CV_8UC3, cv::Scalar(128, 128, 128));
        net.setInput(cv::dnn::blobFromImage(grey, 1.0 / 255.0));
        const cv::Mat output = net.forward();
        if (output.dims != 4 || output.size[1] != 1 || output.size[2] != model.height ||
            output.size[3] != model.width || output.type() != CV_32F) {
            *problem = "the network's output is not one probability per input pixel";
            return {};
        }
    } catch (const cv::Exception& error) {
        *problem = error.what();
        return {};
    }
    return net;
}

bool SegmentationWorker::start(const SegmentationModel& model, std::string* problem) {
    if (thread_.joinable()) {
        *problem = "the worker runs already";
        return false;
    }
    net_ = load(model, problem);
    if (net_.empty()) {
        return false;
    }
    model_ = model;
    thread_ = std::thread([this] { run(); });
    return true;
}

bool SegmentationWorker::offer(const cv::Mat& picture, bool restart, uint64_t* sequence,
                               int blurRadius) {
    if (!thread_.joinable() || picture.empty() || picture.type() != CV_8UC4 || picture.cols < 8 ||
        picture.rows < 8 || picture.cols % 2 != 0 || picture.rows % 2 != 0) {
        return false;
    }
    std::unique_lock<std::mutex> guard(handOver_, std::try_to_lock);
    if (!guard.owns_lock() || busy_ || hasOffer_) {
        return false;
    }
    // create() keeps the buffer while the size stays.
    offered_.create(picture.size(), CV_8UC4);
    picture.copyTo(offered_);
    hasOffer_ = true;
    restartOffered_ = restart;
    blurOffered_ = blurRadius;
    if (sequence != nullptr) {
        // The worker is idle, so every step before this one is published.
        *sequence = published_.load() + 1;
    }
    guard.unlock();
    wake_.notify_one();
    return true;
}

bool SegmentationWorker::takeNewest(SegmentationMask* mask) {
    std::unique_lock<std::mutex> guard(handOver_, std::try_to_lock);
    if (!guard.owns_lock() || ready_.sequence <= mask->sequence) {
        return false;
    }
    std::swap(ready_, *mask);
    return true;
}

void SegmentationWorker::run() {
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(handOver_);
            wake_.wait(guard, [this] { return stopping_ || hasOffer_; });
            if (stopping_) {
                return;
            }
            std::swap(offered_, picture_);
            hasOffer_ = false;
            restart_ = restartOffered_;
            blurRadius_ = blurOffered_;
            busy_ = true;
        }
        const auto began = std::chrono::steady_clock::now();
        step();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - began;
        lastStepMs_.store(took.count());
        {
            std::lock_guard<std::mutex> guard(handOver_);
            working_.sequence = published_.load() + 1;
            std::swap(ready_, working_);
            published_.fetch_add(1);
            busy_ = false;
        }
    }
}

void SegmentationWorker::step() {
    const cv::Size guideSize(picture_.cols / 2, picture_.rows / 2);

    // The network sees the picture top row first, RGB, at its own size.
    cv::cvtColor(picture_, scratchRgb_, cv::COLOR_BGRA2RGB);
    cv::flip(scratchRgb_, scratchRgb_, 0);
    cv::resize(scratchRgb_, scratchSmall_, cv::Size(model_.width, model_.height), 0, 0,
               cv::INTER_AREA);
    net_.setInput(cv::dnn::blobFromImage(scratchSmall_, 1.0 / 255.0));
    const cv::Mat output = net_.forward();
    const cv::Mat probability(model_.height, model_.width, CV_32F,
                              const_cast<float*>(output.ptr<float>()));
    cv::resize(probability, scratchProb_, guideSize, 0, 0, cv::INTER_LINEAR);
    cv::flip(scratchProb_, scratchProb_, 0);

    // The running mask starts at the first output and restarts when the
    // picture's size changes or the offer asked for it.
    if (running_.size() != guideSize || restart_) {
        scratchProb_.copyTo(running_);
    } else {
        cv::addWeighted(scratchProb_, smoothing_, running_, 1.0f - smoothing_, 0.0, running_);
    }

    // The guided filter's coefficients with the grey picture at guide size.
    cv::resize(picture_, scratchGuide_, guideSize, 0, 0, cv::INTER_AREA);
    cv::cvtColor(scratchGuide_, scratchGrey_, cv::COLOR_BGRA2GRAY);
    cv::Mat guide;
    scratchGrey_.convertTo(guide, CV_32F, 1.0 / 255.0);
    const cv::Mat& p = running_;
    const cv::Mat meanI = boxMean(guide);
    const cv::Mat meanP = boxMean(p);
    const cv::Mat corrII = boxMean(guide.mul(guide));
    const cv::Mat corrIP = boxMean(guide.mul(p));
    const cv::Mat varI = corrII - meanI.mul(meanI);
    const cv::Mat covIP = corrIP - meanI.mul(meanP);
    const cv::Mat a = covIP / (varI + kEpsilon);
    const cv::Mat b = meanP - a.mul(meanI);
    const float steepen = 1.0f / (kHigh - kLow);
    cv::Mat planes[2] = {boxMean(a) * steepen, (boxMean(b) - kLow) * steepen};
    const cv::Mat window = cv::getStructuringElement(
        cv::MORPH_RECT, cv::Size(4 * kGuideRadius + 1, 4 * kGuideRadius + 1));
    cv::Mat lowest, highest;
    cv::erode(p, lowest, window, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    cv::dilate(p, highest, window, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    const cv::Mat surePerson = lowest > kSure;
    const cv::Mat sureBackground = highest < 1.0f - kSure;
    planes[0].setTo(0.0f, surePerson | sureBackground);
    planes[1].setTo(1.0f, surePerson);
    planes[1].setTo(0.0f, sureBackground);
    cv::merge(planes, 2, working_.coefficients);
    running_.copyTo(working_.probability);
    working_.pictureSize = picture_.size();
    markRegions();
    blurBackground();
}

// A frame pixel's refined mask reads the coefficients of its own cell and
// the cells next to it (two bilinear doublings, each reaching one pixel
// further), so a cell is sure when it and its eight neighbours are; the
// refinement at half size is needed within one cell of any cell that is not.
void SegmentationWorker::markRegions() {
    cv::Mat planes[2];
    cv::split(working_.coefficients, planes);
    const cv::Mat atWhite = planes[0] + planes[1];
    // a grey + b is linear in grey, so its least and greatest over grey in
    // [0, 1] are at the ends; the margins cover the float rounding of the
    // doubling and keep the rounded byte at 255 or 0.
    cv::Mat person = cv::min(planes[1], atWhite) >= kSurelyOne;
    cv::Mat background = cv::max(planes[1], atWhite) <= kSurelyZero;
    const cv::Mat cell = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::erode(person, person, cell, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    cv::erode(background, background, cell, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    cv::Mat refine;
    cv::dilate(~(person | background), refine, cell, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    regions_.create(working_.coefficients.size(), CV_8UC1);
    regions_.setTo(0);
    regions_.setTo(kRegionPerson, person);
    regions_.setTo(kRegionBackground, background);
    cv::Mat marked = regions_ | kRegionRefine;
    marked.copyTo(regions_, refine);
    working_.runs.build(regions_);
}

// The blur of the background, made here rather than on the frame thread: it
// goes with the mask it was weighted by, and the frame thread only blends.
void SegmentationWorker::blurBackground() {
    working_.blurRadius = blurRadius_;
    if (blurRadius_ <= 0) {
        working_.background.release();
        return;
    }
    const cv::Size guideSize(picture_.cols / 2, picture_.rows / 2);
    if (guideSize.width % 2 != 0 || guideSize.height % 2 != 0) {  // the blur halves it again
        working_.background.release();
        return;
    }
    if (blurScratch_.weighted.size() != guideSize) {
        blurScratch_.make(guideSize);
    }
    quarterBlur_.create(guideSize, CV_8UC4);
    // The guide picture step() made is the offered picture at half size.
    maskedBlur(scratchGuide_, running_, blurRadius_, blurScratch_, quarterBlur_);
    halfBlur_.create(picture_.size(), CV_8UC4);
    upsampleDouble(quarterBlur_, halfBlur_);
    working_.background.create(picture_.rows * 2, picture_.cols * 2, CV_8UC4);
    upsampleDouble(halfBlur_, working_.background);
}
