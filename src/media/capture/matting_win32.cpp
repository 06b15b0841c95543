// Windows ML over the matting models embedded as RCDATA resources of the program itself.
#include <windows.h>
#include <roapi.h>
#include <shlwapi.h>
#include <winstring.h>
#include <wrl/client.h>

#include <cstring>

#include "media/capture/matting.h"
#include "media/capture/winrt_activation.h"
#include "util/win32_missing.h"

using Microsoft::WRL::ComPtr;

namespace {

// Owns an HSTRING for the length of a call.
struct OwnedString {
    HSTRING value = nullptr;
    ~OwnedString() { WindowsDeleteString(value); }
};

// The model resource as a stream reference, or null when the program carries no such resource.
ComPtr<IInspectable> modelStream(int resourceId) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL loaded = found ? LoadResource(self, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = found ? SizeofResource(self, found) : 0;
    if (!bytes || size == 0) return nullptr;
    ComPtr<IStream> memory;
    memory.Attach(SHCreateMemStream(static_cast<const BYTE*>(bytes), UINT(size)));
    ComPtr<IInspectable> stream;
    ComPtr<wml::IRandomAccessStreamReferenceStatics> references;
    ComPtr<IInspectable> reference;
    if (!memory ||
        FAILED(CreateRandomAccessStreamOverStream(memory.Get(), wml::BSOS_DEFAULT, wml::IID_IRandomAccessStream,
                                                  reinterpret_cast<void**>(stream.GetAddressOf()))) ||
        FAILED(activationFactory(wml::kStreamReferenceClass, wml::IID_IRandomAccessStreamReferenceStatics,
                       references.GetAddressOf())) ||
        FAILED(references->CreateFromStream(stream.Get(), &reference))) {
        return nullptr;
    }
    return reference;
}

HRESULT firstFeatureName(wml::IVectorView<wml::ILearningModelFeatureDescriptor*>* features, HSTRING* name) {
    ComPtr<wml::ILearningModelFeatureDescriptor> first;
    HRESULT hr = features ? features->GetAt(0, &first) : E_POINTER;
    if (SUCCEEDED(hr)) hr = first->get_Name(name);
    return hr;
}

// The two factories every evaluation needs are looked up once, when the model starts.
struct WinMlFactories {
    ComPtr<wml::ITensorFloatStatics2> tensors;
    ComPtr<wml::ILearningModelBindingFactory> bindings;
};

class WinMlRunner : public MattingRunner {
public:
    WinMlRunner(const MattingModelConfig& config, ComPtr<wml::ILearningModelSession> session,
                WinMlFactories factories, HSTRING inputName, HSTRING outputName)
        : config(config), session(std::move(session)), factories(std::move(factories)),
          inputName(inputName), outputName(outputName) {}
    ~WinMlRunner() override {
        WindowsDeleteString(inputName);
        WindowsDeleteString(outputName);
    }

    bool evaluate(const std::vector<float>& input, std::vector<float>& output) override {
        ComPtr<wml::ITensorFloat> tensor;
        ComPtr<wml::ILearningModelBinding> binding;
        ComPtr<wml::ILearningModelEvaluationResult> result;
        ComPtr<wml::IMapView<HSTRING, IInspectable*>> outputs;
        ComPtr<IInspectable> value;
        ComPtr<wml::ITensorFloat> values;
        ComPtr<wml::IVectorView<FLOAT>> view;
        INT64 shape[4] = {1, 3, config.height, config.width};
        HRESULT hr = factories.tensors->CreateFromShapeArrayAndDataArray(
            4, shape, UINT32(input.size()), const_cast<FLOAT*>(input.data()), &tensor);
        if (SUCCEEDED(hr)) hr = factories.bindings->CreateFromSession(session.Get(), &binding);
        if (SUCCEEDED(hr)) hr = binding->Bind(inputName, tensor.Get());
        if (SUCCEEDED(hr)) hr = session->Evaluate(binding.Get(), nullptr, &result);
        if (SUCCEEDED(hr)) hr = result->get_Outputs(&outputs);
        if (SUCCEEDED(hr)) hr = outputs->Lookup(outputName, &value);
        if (SUCCEEDED(hr)) hr = value->QueryInterface(wml::IID_ITensorFloat, reinterpret_cast<void**>(values.GetAddressOf()));
        if (SUCCEEDED(hr)) hr = values->GetAsVectorView(&view);
        UINT32 count = 0;
        if (SUCCEEDED(hr)) hr = view->get_Size(&count);
        if (FAILED(hr)) return false;
        output.resize(count);
        UINT32 copied = 0;
        if (count && FAILED(view->GetMany(0, count, output.data(), &copied))) return false;
        output.resize(copied);
        return true;
    }

private:
    MattingModelConfig config;
    ComPtr<wml::ILearningModelSession> session;
    WinMlFactories factories;
    HSTRING inputName;
    HSTRING outputName;
};

class WinMlRuntime : public MattingRuntime {
public:
    std::unique_ptr<MattingRunner> start(const MattingModelConfig& config) override {
        ComPtr<IInspectable> stream = modelStream(config.resourceId);
        if (!stream) return nullptr;
        ComPtr<wml::ILearningModelStatics> models;
        ComPtr<wml::ILearningModel> model;
        ComPtr<wml::ILearningModelDeviceFactory> devices;
        ComPtr<IInspectable> device;
        ComPtr<wml::ILearningModelSessionFactory> sessions;
        ComPtr<wml::ILearningModelSession> session;
        ComPtr<wml::IVectorView<wml::ILearningModelFeatureDescriptor*>> inputs, outputs;
        WinMlFactories factories;
        OwnedString inputName, outputName;
        HRESULT hr = activationFactory(wml::kLearningModelClass, wml::IID_ILearningModelStatics, models.GetAddressOf());
        if (SUCCEEDED(hr)) hr = models->LoadFromStream(stream.Get(), &model);
        if (SUCCEEDED(hr)) hr = activationFactory(wml::kLearningModelDeviceClass, wml::IID_ILearningModelDeviceFactory, devices.GetAddressOf());
        if (SUCCEEDED(hr)) hr = devices->Create(config.deviceKind, &device);
        if (SUCCEEDED(hr)) hr = activationFactory(wml::kLearningModelSessionClass, wml::IID_ILearningModelSessionFactory, sessions.GetAddressOf());
        if (SUCCEEDED(hr)) hr = sessions->CreateFromModelOnDevice(model.Get(), device.Get(), &session);
        if (SUCCEEDED(hr)) hr = model->get_InputFeatures(&inputs);
        if (SUCCEEDED(hr)) hr = firstFeatureName(inputs.Get(), &inputName.value);
        if (SUCCEEDED(hr)) hr = model->get_OutputFeatures(&outputs);
        if (SUCCEEDED(hr)) hr = firstFeatureName(outputs.Get(), &outputName.value);
        if (SUCCEEDED(hr)) {
            hr = activationFactory(wml::kTensorFloatClass, wml::IID_ITensorFloatStatics2,
                                   factories.tensors.GetAddressOf());
        }
        if (SUCCEEDED(hr)) {
            hr = activationFactory(wml::kLearningModelBindingClass,
                                   wml::IID_ILearningModelBindingFactory,
                                   factories.bindings.GetAddressOf());
        }
        if (FAILED(hr)) return nullptr;
        auto runner = std::make_unique<WinMlRunner>(config, session, std::move(factories),
                                                    inputName.value, outputName.value);
        inputName.value = outputName.value = nullptr;  // the runner owns them now
        return runner;
    }
};

}  // namespace

std::unique_ptr<MattingRuntime> platformMattingRuntime() { return std::make_unique<WinMlRuntime>(); }
