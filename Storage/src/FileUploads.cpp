#include "StorageWire.hpp"
#include "helpers/HTTPFieldsBridging.hpp"
#include "helpers/URLError.hpp"
#include "storage/MultipartFormData.hpp"
#include "storage/StorageError.hpp"
#include "storage/StorageFileApi.hpp"

namespace zirudeze::storage {
namespace {

using helpers::HTTPRequest;
using Method = HTTPRequest::Method;
using Name = http::HTTPField::Name;

template <class... Cases>
struct Overloaded : Cases... {
  using Cases::operator()...;
};
template <class... Cases>
Overloaded(Cases...) -> Overloaded<Cases...>;

// "cacheControl", then "metadata" when there is any, then the file part named "".
void appendUploadParts(MultipartFormData& form, const std::string& path, FileUpload file, const FileOptions& options) {
  form.append(velmoria::base::dataFromString(options.cacheControl), "cacheControl");
  if (options.metadata) form.append(metadataJSON(*options.metadata), "metadata");
  std::visit(Overloaded{
                 [&](velmoria::base::Data& data) {
                   std::string type = options.contentType
                                          ? *options.contentType
                                          : mimeTypeForPathExtension(velmoria::base::pathExtension(path));
                   form.append(std::move(data), "", velmoria::base::lastPathComponent(path), std::move(type));
                 },
                 [&](const velmoria::base::URL& fileURL) { form.append(fileURL, ""); },
             },
             file);
}

void setIfAbsent(http::HTTPFields& headers, const Name& name, const std::string& value) {
  if (!headers.contains(name)) headers.set(name, std::string_view(value));
}

}  // namespace

helpers::HTTPRequest StorageFileApi::uploadRequest(const Method& method, velmoria::base::URL url,
                                                   const std::string& path, FileUpload file, const FileOptions& options,
                                                   bool alwaysSendsUpsert) const {
  http::HTTPFields headers = options.headers ? helpers::fieldsFromDictionary(*options.headers) : http::HTTPFields();
  if (alwaysSendsUpsert || method == Method::post()) {
    headers.set(detail::xUpsertName(), options.upsert ? "true" : "false");
  }
  if (options.duplex) {
    headers.set(detail::duplexName(), std::string_view(*options.duplex));
  } else {
    headers.set(detail::duplexName(), std::nullopt);
  }
  std::optional<velmoria::base::Data> body;
  std::shared_ptr<const helpers::HTTPBodyStream> bodyStream;
  {
    MultipartFormData form;
    const bool fromFile = std::holds_alternative<velmoria::base::URL>(file);
    appendUploadParts(form, path, std::move(file), options);
    setIfAbsent(headers, Name::contentType(), form.contentType());
    setIfAbsent(headers, Name::cacheControl(), "max-age=" + options.cacheControl);
    // A file is read while it is sent, so its size never counts against memory; bytes the caller already
    // holds go out as one buffer.
    if (fromFile) {
      bodyStream = form.encodedStream();
    } else {
      body = form.encode();
    }
  }
  HTTPRequest request(std::move(url), method, {}, headers, std::move(body));
  request.bodyStream = std::move(bodyStream);
  return request;
}

FileUploadResponse StorageFileApi::uploadOrUpdate(const Method& method, const std::string& path, FileUpload file,
                                                  const std::optional<FileOptions>& options) const {
  HTTPRequest request = uploadRequest(method, objectURL("object/" + bucketId + "/" + detail::cleanObjectPath(path)),
                                      path, std::move(file), options ? *options : defaultFileOptions(), false);
  const auto reply = execute(std::move(request)).decoded<detail::UploadResponse>(configuration.decoder());
  return FileUploadResponse{reply.id, path, reply.key};
}

FileUploadResponse StorageFileApi::upload(const std::string& path, velmoria::base::Data data,
                                          const std::optional<FileOptions>& options) const {
  return uploadOrUpdate(Method::post(), path, FileUpload(std::move(data)), options);
}

FileUploadResponse StorageFileApi::upload(const std::string& path, const velmoria::base::URL& fileURL,
                                          const std::optional<FileOptions>& options) const {
  return uploadOrUpdate(Method::post(), path, FileUpload(fileURL), options);
}

FileUploadResponse StorageFileApi::update(const std::string& path, velmoria::base::Data data,
                                          const std::optional<FileOptions>& options) const {
  return uploadOrUpdate(Method::put(), path, FileUpload(std::move(data)), options);
}

FileUploadResponse StorageFileApi::update(const std::string& path, const velmoria::base::URL& fileURL,
                                          const std::optional<FileOptions>& options) const {
  return uploadOrUpdate(Method::put(), path, FileUpload(fileURL), options);
}

SignedUploadURL StorageFileApi::createSignedUploadURL(
    const std::string& path, const std::optional<CreateSignedUploadURLOptions>& options) const {
  http::HTTPFields headers;
  if (options && options->upsert) headers.set(detail::xUpsertName(), "true");
  const auto reply =
      execute(HTTPRequest(objectURL("object/upload/sign/" + bucketId + "/" + path), Method::post(), {}, headers))
          .decoded<detail::SignedUploadURLReply>(configuration.decoder());
  velmoria::base::URLComponents components(makeSignedURL(reply.url, std::nullopt));
  std::optional<std::string> token;
  for (const auto& item : components.queryItems().value_or(std::vector<velmoria::base::URLQueryItem>{})) {
    if (item.name == "token") {
      token = item.value;
      break;
    }
  }
  if (!token || token->empty()) throw StorageError(std::nullopt, "No token returned by API", std::nullopt);
  auto signedURL = components.url();
  if (!signedURL) throw helpers::URLError(helpers::URLError::Code::badURL);
  return SignedUploadURL{std::move(*signedURL), path, std::move(*token)};
}

SignedURLUploadResponse StorageFileApi::uploadToSignedURL(const std::string& path, const std::string& token,
                                                          FileUpload file,
                                                          const std::optional<FileOptions>& options) const {
  HTTPRequest request = uploadRequest(Method::put(), objectURL("object/upload/sign/" + bucketId + "/" + path), path,
                                      std::move(file), options ? *options : defaultFileOptions(), true);
  request.query = {{"token", token}};
  const auto reply = execute(std::move(request)).decoded<detail::KeyOnlyUploadResponse>(configuration.decoder());
  return SignedURLUploadResponse{path, reply.key};
}

SignedURLUploadResponse StorageFileApi::uploadToSignedURL(const std::string& path, const std::string& token,
                                                          velmoria::base::Data data,
                                                          const std::optional<FileOptions>& options) const {
  return uploadToSignedURL(path, token, FileUpload(std::move(data)), options);
}

SignedURLUploadResponse StorageFileApi::uploadToSignedURL(const std::string& path, const std::string& token,
                                                          const velmoria::base::URL& fileURL,
                                                          const std::optional<FileOptions>& options) const {
  return uploadToSignedURL(path, token, FileUpload(fileURL), options);
}

std::string StorageFileApi::uploadReturningKey(const std::string& path, velmoria::base::Data data,
                                               const std::optional<FileOptions>& options) const {
  return upload(path, std::move(data), options).fullPath;
}

std::string StorageFileApi::updateReturningKey(const std::string& path, velmoria::base::Data data,
                                               const std::optional<FileOptions>& options) const {
  return update(path, std::move(data), options).fullPath;
}

std::string StorageFileApi::uploadToSignedURLReturningKey(const std::string& path, const std::string& token,
                                                          velmoria::base::Data data,
                                                          const std::optional<FileOptions>& options) const {
  return uploadToSignedURL(path, token, std::move(data), options).fullPath;
}

}  // namespace zirudeze::storage
