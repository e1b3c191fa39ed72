"""Reads multipart/form-data bodies with the standard library's email parser (HTTP policy).

stdin: a JSON list of {"contentType": text, "bodyFile": path}. stdout: a JSON list with one entry per body:
{"boundary", "startsWithDelimiter", "endsWithCloseDelimiter", "defects", "parts": [{"name", "filename",
"contentType", "length", "sha256"}]}; names and the content type as written come as the hex of their
bytes, so non-ASCII text arrives exactly as it was sent.
"""
import email.parser
import email.policy
import hashlib
import json
import sys


def raw(text):
    if text is None:
        return None
    return text.encode("utf-8", "surrogateescape").hex()


def read(entry):
    with open(entry["bodyFile"], "rb") as stream:
        body = stream.read()
    head = b"Content-Type: " + entry["contentType"].encode("utf-8") + b"\r\nMIME-Version: 1.0\r\n\r\n"
    message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(head + body)
    boundary = message.get_boundary()
    result = {
        "boundary": boundary,
        "isMultipart": message.is_multipart(),
        "startsWithDelimiter": boundary is not None and body.startswith(b"--" + boundary.encode() + b"\r\n"),
        "endsWithCloseDelimiter": boundary is not None and body.endswith(b"\r\n--" + boundary.encode() + b"--\r\n"),
        "defects": [type(defect).__name__ for defect in message.defects],
        "parts": [],
    }
    if not message.is_multipart():
        return result
    for part in message.iter_parts():
        content = part.get_payload(decode=True) or b""
        result["defects"] += [type(defect).__name__ for defect in part.defects]
        result["parts"].append({
            "name": raw(part.get_param("name", header="content-disposition")),
            "filename": raw(part.get_param("filename", header="content-disposition")),
            "contentType": raw(dict((name.lower(), value) for name, value in part.raw_items()).get("content-type")),
            "length": len(content),
            "sha256": hashlib.sha256(content).hexdigest(),
        })
    return result


def main():
    entries = json.load(sys.stdin)
    json.dump([read(entry) for entry in entries], sys.stdout)


if __name__ == "__main__":
    main()
