#pragma once

#include <boost/shared_ptr.hpp>

#include "Client/Result/NbestImpl.h"
#include "Orvane/Result/Nbest.h"
#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Client {
namespace Result {

// A recognition result. Duplicate and GetSentence make new objects over shared data,
// which the caller releases; the data goes with the last object that shares it.
class Nbest : public Orvane::Result::Nbest {
public:
    // Reads an Nbest element; what the readers throw passes on and no object results.
    explicit Nbest(const boost::shared_ptr<Utility::Xml::Node>& element);
    // A result over data read already.
    explicit Nbest(boost::shared_ptr<NbestImpl> impl);
    Nbest(const Nbest&) = delete;
    Nbest& operator=(const Nbest&) = delete;

    void Release() override;
    Orvane::Result::Nbest* Duplicate() override;
    // Error 4000 by pointer for an index outside 0 to GetCount() - 1.
    Orvane::Result::Sentence* GetSentence(int index) override;
    int GetCount() override;
    const char* ToString() override;
    const char* ToXML() override;
    // Not supported: error 7001.
    void GetGender() override;
    void GetStartNumSamples() override;
    void GetEndNumSamples() override;
    void GetFilterFlag() override;
    virtual ~Nbest();

private:
    boost::shared_ptr<NbestImpl> impl_;
};

} // namespace Result
} // namespace Client
} // namespace Orvane
