#include "Helper/Tessival.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <map>
#include <stdexcept>
#include <system_error>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/thread/locks.hpp>

#include "Helper/Error.h"
#include "Helper/OrvaneController.h"
#include "Helper/Parameters.h"

namespace Orvane {
namespace Helper {
namespace {
static_assert(sizeof(quor_helper_error) == QUOR_HELPER_ERROR_SIZE, "error record size");
static_assert(offsetof(quor_helper_error, type) == 1, "type at byte 1");
static_assert(offsetof(quor_helper_error, number) == 36, "number at byte 36");
static_assert(offsetof(quor_helper_error, message) == 40, "message at byte 40");

bool IsSjisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Copies `text` into `field` of `capacity` bytes, NUL included, cutting before a character
// that does not fit whole.
void CopyText(char* field, std::size_t capacity, const char* text, int encoding)
{
    const std::size_t length = text != nullptr ? std::strlen(text) : 0;
    const std::size_t limit = capacity - 1;
    std::size_t end = 0;
    if (length <= limit) {
        end = length;
    } else if (encoding == 1) {
        while (end < limit) {
            const std::size_t width = IsSjisLead(static_cast<unsigned char>(text[end])) ? 2 : 1;
            if (end + width > limit) {
                break;
            }
            end += width;
        }
    } else {
        end = limit;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
            --end;
        }
    }
    if (end > 0) {
        std::memcpy(field, text, end);
    }
    field[end] = '\0';
}

void PrintIgnored(const char* what, int state)
{
    std::printf("%s%d\n", what, state);
    std::fflush(stdout);
}
} // namespace

Tessival::Tessival(int encoding)
    : _quor_helper(), listener_(nullptr), encoding_(encoding), state_(Created), completing_(false)
{
}

Tessival::~Tessival() = default;

int Tessival::EncodingOf(const char* name)
{
    if (name == nullptr) {
        throw std::invalid_argument("encoding is not specified.");
    }
    return boost::algorithm::iequals(std::string(name), "Shift_JIS", std::locale::classic()) ? 1 : 2;
}

int Tessival::GetState() const
{
    boost::lock_guard<boost::mutex> lock(stateMutex_);
    return state_;
}

void Tessival::SetListener(TessivalListener* listener) { listener_ = listener; }

bool Tessival::IsCallbackKind(int kind) { return kind >= KindConnected && kind <= KindCompleted; }

void Tessival::RegisterCallback(int kind, quor_helper_callback function, void* data)
{
    if (function == nullptr || !IsCallbackKind(kind)) {
        throw std::invalid_argument("callback kind or function");
    }
    boost::lock_guard<boost::mutex> lock(callbackMutex_);
    functions[kind - 1] = function;
    this->data[kind - 1] = data;
}

Tessival::Callback Tessival::GetCallback(int kind) const
{
    boost::lock_guard<boost::mutex> lock(callbackMutex_);
    return Callback{functions[kind - 1], data[kind - 1]};
}

void Tessival::InitWithDevice(const char* path)
{
    if (path == nullptr) {
        throw Error::Internal(encoding_, "file open failed. ");
    }
    {
        boost::lock_guard<boost::mutex> lock(stateMutex_);
        if (state_ == Running || state_ == Stopping || completing_) {
            throw Error::InvalidState(encoding_, "state is not ready");
        }
    }
    errno = 0;
    std::ifstream file(path, std::ios::in | std::ios::binary);
    if (!file.is_open()) {
        const int cause = errno;
        throw Error::Internal(encoding_, std::string("file open failed. ") + path +
                                             (cause != 0 ? " (" + std::generic_category().message(cause) + ")" : ""));
    }
    // Syntax errors, duplicate keys and a missing or empty section (which the reader
    // drops) leave as the reader's errors, naming the file.
    using boost::property_tree::ini_parser_error;
    boost::property_tree::ptree tree;
    try {
        boost::property_tree::ini_parser::read_ini(file, tree);
    } catch (const ini_parser_error& e) {
        throw ini_parser_error(e.message(), path, e.line());
    }
    const auto section = tree.find("Environment");
    if (section == tree.not_found()) {
        throw ini_parser_error("section [Environment] is missing or empty", path, 0);
    }
    std::map<std::string, std::string> options;
    for (const auto& entry : section->second) {
        options[entry.first] = entry.second.get_value<std::string>();
    }

    boost::shared_ptr<Parameters> parameters(new Parameters(encoding_));
    try {
        parameters->Set(options);
        parameters->Validate();
    } catch (Orvane::Exception*) {
        boost::lock_guard<boost::mutex> lock(stateMutex_);
        parameters_.reset();
        throw;
    }
    boost::lock_guard<boost::mutex> lock(stateMutex_);
    if (state_ == Running || state_ == Stopping || completing_) {
        throw Error::InvalidState(encoding_, "state is not ready");
    }
    parameters_ = parameters;
    state_ = Initialised;
}

void Tessival::SetOption(const char* key, const char* value)
{
    boost::lock_guard<boost::mutex> lock(stateMutex_);
    if ((state_ != Initialised && state_ != Finished) || completing_ || !parameters_) {
        throw Error::InvalidState(encoding_, "state is not ready");
    }
    if (key == nullptr || *key == '\0') {
        throw Error::InvalidOption(encoding_, "SetOption invalid parameter");
    }
    std::map<std::string, std::string> options;
    options[key] = value != nullptr ? value : "";
    parameters_->Update(options);
}

void Tessival::Start()
{
    boost::shared_ptr<OrvaneController> controller;
    boost::shared_ptr<Parameters> parameters;
    {
        boost::lock_guard<boost::mutex> lock(stateMutex_);
        if ((state_ != Initialised && state_ != Finished) || completing_ || !parameters_) {
            throw Error::InvalidState(encoding_, "state is not ready");
        }
        try {
            controller.reset(new OrvaneController(encoding_));
        } catch (...) {
            throw Error::Internal(encoding_, "quor_helper_start failed.");
        }
        controller->SetListener(this);
        controller_ = controller;
        parameters = parameters_;
        state_ = Running;
    }
    // The local reference keeps the controller alive even when its completion starts the
    // next recognition from inside this call.
    try {
        controller->Start(parameters);
    } catch (Orvane::Exception* error) {
        Fail(error);
    } catch (...) {
        Fail(Error::Internal(encoding_, "quor_helper_start failed."));
    }
}

void Tessival::Stop() { EndRunning(false); }

void Tessival::Cancel() { EndRunning(true); }

void Tessival::EndRunning(bool cancel)
{
    boost::shared_ptr<OrvaneController> controller;
    {
        boost::lock_guard<boost::mutex> lock(stateMutex_);
        if (state_ != Running || completing_) {
            throw Error::InvalidState(encoding_, "state is not running");
        }
        state_ = Stopping;
        controller = controller_;
    }
    try {
        if (controller) {
            controller->RequestStop(cancel ? OrvaneController::ApplicationCancel
                                           : OrvaneController::ApplicationStop);
        }
    } catch (Orvane::Exception* error) {
        Fail(error);
    } catch (...) {
        Fail(Error::Internal(encoding_, cancel ? "quor_helper_cancel failed." : "quor_helper_stop failed."));
    }
}

void Tessival::Fail(Orvane::Exception* error)
{
    try {
        Completed(error);
    } catch (...) {
    }
    error->Release();
}

void Tessival::Release()
{
    boost::shared_ptr<OrvaneController> controller;
    boost::shared_ptr<Parameters> parameters;
    {
        boost::lock_guard<boost::mutex> lock(stateMutex_);
        if (state_ == Running || state_ == Stopping || completing_) {
            PrintIgnored("Release ignore state => ", state_);
            throw Error::InvalidState(encoding_, "state is not stopped");
        }
        controller.swap(controller_);
        parameters.swap(parameters_);
    }
    // Dropped without the lock: a last reference may end threads.
}

void Tessival::Completed(Orvane::Exception* error)
{
    boost::shared_ptr<OrvaneController> controller;
    {
        boost::lock_guard<boost::mutex> lock(stateMutex_);
        if (state_ == Finished || completing_) {
            PrintIgnored("Completed ignore state => ", Finished);
            return;
        }
        completing_ = true;
        controller = controller_;
    }
    if (controller) {
        controller->Teardown();
    }
    {
        boost::lock_guard<boost::mutex> lock(stateMutex_);
        state_ = Finished;
        completing_ = false;
    }
    TessivalListener* const listener = listener_;
    if (listener != nullptr) {
        listener->Completed(error);
    }
    const Callback callback = GetCallback(KindCompleted);
    if (callback.function == nullptr || callback.data == nullptr) {
        return;
    }
    if (error != nullptr) {
        quor_helper_error& record = *static_cast<quor_helper_error*>(callback.data);
        Fill(record, *error, encoding_);
        callback.function(Handle(), callback.data);
    } else {
        callback.function(Handle(), nullptr);
    }
}

void Tessival::Fill(quor_helper_error& record, Orvane::Exception& error, int encoding)
{
    record.flag = 0;
    CopyText(record.type, sizeof(record.type), error.GetType(), encoding);
    record.number = error.GetErrorNo();
    CopyText(record.message, sizeof(record.message), error.GetErrorMessage(), encoding);
}

void Tessival::Call(int kind)
{
    const Callback callback = GetCallback(kind);
    if (callback.function != nullptr) {
        callback.function(Handle(), callback.data);
    }
}

void Tessival::CallResult(int kind, double time, Orvane::Result::Nbest* result)
{
    const Callback callback = GetCallback(kind);
    if (callback.function == nullptr || callback.data == nullptr || result == nullptr) {
        return;
    }
    quor_helper_result& filled = *static_cast<quor_helper_result*>(callback.data);
    filled.time = time;
    filled.text = result->ToString();
    filled.xml = result->ToXML();
    callback.function(Handle(), callback.data);
}

void Tessival::Connected()
{
    TessivalListener* const listener = listener_;
    if (listener != nullptr) {
        listener->Connected();
    }
    Call(KindConnected);
}

void Tessival::Record(short* samples, unsigned int count)
{
    if (GetState() != Running) {
        return;
    }
    TessivalListener* const listener = listener_;
    if (listener != nullptr) {
        listener->Record(samples, count);
    }
    const Callback callback = GetCallback(KindRecord);
    if (callback.function == nullptr || callback.data == nullptr) {
        return;
    }
    quor_helper_record& record = *static_cast<quor_helper_record*>(callback.data);
    record.samples = samples;
    record.count = count;
    callback.function(Handle(), callback.data);
}

void Tessival::SentenceEnd()
{
    TessivalListener* const listener = listener_;
    if (listener != nullptr) {
        listener->SentenceEnd();
    }
    Call(KindSentenceEnd);
}

void Tessival::TempResult(double time, Orvane::Result::Nbest* result)
{
    if (GetState() != Running) {
        return;
    }
    TessivalListener* const listener = listener_;
    if (listener != nullptr) {
        listener->TempResult(time, result);
    }
    CallResult(KindTempResult, time, result);
}

void Tessival::Recognize(Orvane::Result::Nbest* result)
{
    TessivalListener* const listener = listener_;
    if (listener != nullptr) {
        listener->Recognize(result);
    }
    CallResult(KindRecognize, 0.0, result);
}

} // namespace Helper
} // namespace Orvane
