// Serves a built site (build-web/site) over HTTP on 127.0.0.1, with the two headers that make
// its page cross-origin isolated, so that the threaded module can run, and WebAssembly as
// application/wasm. Usage: node web/serve.mjs DIR [--port N] [--no-isolation]
import { createServer } from "node:http";
import { readFile } from "node:fs/promises";
import { extname, join, normalize, resolve, sep } from "node:path";
import { fileURLToPath } from "node:url";

const TYPES = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript; charset=utf-8",
  ".mjs": "text/javascript; charset=utf-8",
  ".wasm": "application/wasm",
  ".png": "image/png",
  ".css": "text/css; charset=utf-8",
};

// Resolves to the listening server; port 0 takes any free one (server.address().port).
export function serve(root, { port = 8000, isolated = true } = {}) {
  const base = resolve(root);
  const server = createServer(async (request, response) => {
    const path = decodeURIComponent(new URL(request.url, "http://localhost").pathname);
    const file = normalize(join(base, path.endsWith("/") ? path + "index.html" : path));
    if (file !== base && !file.startsWith(base + sep)) {
      response.writeHead(403).end();
      return;
    }
    try {
      const data = await readFile(file);
      const headers = { "Content-Type": TYPES[extname(file)] || "application/octet-stream", "Cache-Control": "no-cache" };
      if (isolated) {
        headers["Cross-Origin-Opener-Policy"] = "same-origin";
        headers["Cross-Origin-Embedder-Policy"] = "require-corp";
      }
      response.writeHead(200, headers).end(data);
    } catch {
      response.writeHead(404, { "Content-Type": "text/plain" }).end("not found\n");
    }
  });
  return new Promise((done, fail) => {
    server.once("error", fail);
    server.listen(port, "127.0.0.1", () => done(server));
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const args = process.argv.slice(2);
  const dir = args.find((a, i) => !a.startsWith("--") && args[i - 1] !== "--port");
  const portAt = args.indexOf("--port");
  const port = portAt >= 0 ? Number(args[portAt + 1]) : 8000;
  if (!dir || !Number.isInteger(port) || port < 0 || port > 65535) {
    console.error("usage: node web/serve.mjs DIR [--port N] [--no-isolation]");
    process.exit(2);
  }
  const isolated = !args.includes("--no-isolation");
  serve(dir, { port, isolated }).then(
    (server) => console.log(`serving ${dir} at http://127.0.0.1:${server.address().port}/` +
                            (isolated ? "" : " (not isolated: single-threaded)")),
    (error) => {
      console.error(`serve: ${error.message}`);
      process.exit(1);
    });
}
