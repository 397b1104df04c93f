// Serves a built site (build-web/site) over HTTP on 127.0.0.1, with the two headers that make
// its page cross-origin isolated, so that the threaded module can run, and WebAssembly as
// application/wasm. Files only from inside the site folder (links followed, then checked),
// GET and HEAD only. Usage: node web/serve.mjs DIR [--port N] [--no-isolation]
import { createServer } from "node:http";
import { readFile, realpath } from "node:fs/promises";
import { extname, join, resolve, sep } from "node:path";
import { fileURLToPath } from "node:url";

const TYPES = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript; charset=utf-8",
  ".mjs": "text/javascript; charset=utf-8",
  ".wasm": "application/wasm",
  ".png": "image/png",
  ".css": "text/css; charset=utf-8",
  ".flight": "text/plain; charset=utf-8",
};

function plainAnswer(response, status, text, headers = {}) {
  response.writeHead(status, { "Content-Type": "text/plain; charset=utf-8", ...headers }).end(`${text}\n`);
}

// The file a request path names inside base (resolved, links followed), or null when it lies
// outside or does not exist.
async function fileInside(base, path) {
  let file;
  try {
    file = await realpath(join(base, path.endsWith("/") ? `${path}index.html` : path));
  } catch {
    return null;
  }
  return file === base || file.startsWith(base + sep) ? file : null;
}

// Resolves to the listening server; port 0 takes any free one (server.address().port).
export async function serve(root, { port = 8000, isolated = true } = {}) {
  const base = await realpath(resolve(root));
  const server = createServer(async (request, response) => {
    try {
      if (request.method !== "GET" && request.method !== "HEAD") {
        plainAnswer(response, 405, "method not allowed", { Allow: "GET, HEAD" });
        return;
      }
      let path;
      try {
        path = decodeURIComponent(new URL(request.url, "http://localhost").pathname);
      } catch {
        plainAnswer(response, 400, "bad request");
        return;
      }
      if (path.includes("\0")) {
        plainAnswer(response, 400, "bad request");
        return;
      }
      const file = await fileInside(base, path);
      if (file === null) {
        plainAnswer(response, 404, "not found");
        return;
      }
      const data = await readFile(file);
      const headers = { "Content-Type": TYPES[extname(file)] || "application/octet-stream", "Cache-Control": "no-cache",
                        "Content-Length": data.length };
      if (isolated) {
        headers["Cross-Origin-Opener-Policy"] = "same-origin";
        headers["Cross-Origin-Embedder-Policy"] = "require-corp";
      }
      response.writeHead(200, headers).end(request.method === "HEAD" ? undefined : data);
    } catch {
      // A folder, an unreadable file: nothing the client may see, and the server goes on.
      if (!response.headersSent) plainAnswer(response, 404, "not found");
      else response.destroy();
    }
  });
  return new Promise((done, fail) => {
    server.once("error", fail);
    server.listen(port, "127.0.0.1", () => done(server));
  });
}

// A port as a whole decimal number from 1 to 65535, or null.
export function portOf(text) {
  return /^[0-9]{1,5}$/.test(text ?? "") && Number(text) >= 1 && Number(text) <= 65535 ? Number(text) : null;
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const args = process.argv.slice(2);
  const usage = "usage: node web/serve.mjs DIR [--port N] [--no-isolation]  (N a whole number from 1 to 65535)";
  let dir = null, port = 8000, isolated = true;
  for (let i = 0; i < args.length; ++i) {
    if (args[i] === "--port") {
      port = portOf(args[++i]);
      if (port === null) {
        console.error(`serve: --port: expected a whole number from 1 to 65535, got '${args[i] ?? ""}'`);
        console.error(usage);
        process.exit(2);
      }
    } else if (args[i] === "--no-isolation") {
      isolated = false;
    } else if (!args[i].startsWith("--") && dir === null) {
      dir = args[i];
    } else {
      console.error(usage);
      process.exit(2);
    }
  }
  if (dir === null) {
    console.error(usage);
    process.exit(2);
  }
  serve(dir, { port, isolated }).then(
    (server) => console.log(`serving ${dir} at http://127.0.0.1:${server.address().port}/` +
                            (isolated ? "" : " (not isolated: single-threaded)")),
    (error) => {
      console.error(`serve: ${error.message}`);
      process.exit(1);
    });
}
