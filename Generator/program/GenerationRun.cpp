#include "GenerationRun.h"

#include <iostream>

#include "PVModel.h"
#include "ResultsDB.h"
#include "RunOutputs.h"
#include "TraceFileContainer.h"
#include "TraceFileTarvelSSG.h"

GenerationRun::GenerationRun(PVModel* model, const GenOptions& options, RewardModelMaker makeExpanderModel)
    : model_(model),
      options_(options),
      resultsDB_(options.dbHost ? std::make_unique<ResultsDB>(options.dbHost->c_str(), -1, nullptr, nullptr, nullptr)
                                : nullptr),
      explorer_(model, options.loadFactor, std::move(makeExpanderModel)) {
  explorer_.setResultsDB(resultsDB_.get(), options_.name);
  explorer_.setReportAbsorbing(options_.absorbing);
}

GenerationRun::~GenerationRun() = default;

void GenerationRun::setModelName(std::string name) {
  modelName_ = name;
  explorer_.setModelName(std::move(name));
}

void GenerationRun::InitializeTrace() {
  trace_ = std::make_unique<TraceFileContainer>();
  trace_->setTraceLevel(options_.traceLevel);
  if (options_.traceFile)
    ssgTrace_ = std::make_unique<TraceFileTarvelSSG>(options_.traceFile->c_str());
  else
    ssgTrace_ = std::make_unique<TraceFileTarvelSSG>(&std::cout);
  ssgTrace_->setTraceLevel(options_.traceLevel);
  trace_->AddTraceFile(ssgTrace_.get());
  trace_->addPVModel(model_);
  explorer_.setTrace(trace_.get());
}

bool GenerationRun::traceFileFailed() const { return ssgTrace_ && ssgTrace_->fileFailed(); }

void GenerationRun::GenStateSpace() {
  if (!trace_) InitializeTrace();
  RunOutputs outputs(*model_, options_, results_, modelName_);
  explorer_.setSinks(&outputs);
  explorer_.GenStateSpace();
}
