// A browser driven by a program, one engine (chromium, firefox or webkit),
// for the page's tests and its benchmark: the few steps they take. Exits
// 77, which the test runner reports as skipped, where the engine or a
// display for it is missing.
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import path from "node:path";
import { createRequire } from "node:module";

const require = createRequire(import.meta.url);
const fromModules = name => require(path.join(process.env.VORTRIM_NODE_MODULES, name));

const programs = {
  chromium: "/usr/bin/chromium",
  firefox: "/usr/bin/firefox-esr",
  webkit: "/usr/bin/WebKitWebDriver",
};
const miniBrowser = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser";

// Returns only where `engine` can run; else exits 77, or runs this program
// again under xvfb-run where WebKit lacks a display.
export function needEngine(engine) {
  if (!fs.existsSync(programs[engine]) || (engine === "webkit" && !fs.existsSync(miniBrowser))) {
    console.log(`skipped: needs ${programs[engine]}`);
    process.exit(77);
  }
  // WebKit has no headless mode, and its driver waits forever without a display.
  if (engine === "webkit" && !process.env.DISPLAY) {
    if (spawnSync("sh", ["-c", "command -v xvfb-run"]).status !== 0) {
      console.log("skipped: WebKit needs a display, or xvfb-run to make one");
      process.exit(77);
    }
    const run = spawnSync("xvfb-run", ["-a", process.execPath, ...process.argv.slice(1)], { stdio: "inherit" });
    process.exit(run.status ?? 1);
  }
}

async function openPuppeteer(engine, scratch, extraArgs) {
  const puppeteer = fromModules("puppeteer-core");
  const b = await puppeteer.launch({
    browser: engine === "chromium" ? "chrome" : "firefox",
    executablePath: programs[engine],
    headless: true,
    userDataDir: path.join(scratch, "profile"),
    protocolTimeout: 600000,
    // No connection of the browser's own: this machine may have no network.
    args: engine === "chromium"
      ? ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-sync",
         "--disable-background-networking", "--disable-component-update", ...extraArgs]
      : [],
  });
  const page = await b.newPage();
  return {
    goto: url => page.goto(url),
    evaluate: (fn, ...args) => page.evaluate(fn, ...args),
    // Chromium's driver also hands a folder to a folder input; Firefox's
    // refuses one.
    pick: async (files, input = "#files") => (await page.$(input)).uploadFile(...files),
    // The page's width and height in CSS pixels, as a phone's.
    resize: (width, height) => page.setViewport({ width, height }),
    // MIDI with SysEx allowed for `origin`, as a person allows it when asked.
    allowMidi: origin => b.defaultBrowserContext().overridePermissions(origin, ["midi", "midi-sysex"]),
    pids: () => [b.process().pid],
    close: () => b.close(),
  };
}

async function openWebKit(scratch) {
  const { Builder, By } = fromModules("selenium-webdriver");
  // A port that is free now: the driver takes no port of its own choosing.
  const port = await new Promise(resolve => {
    const probe = http.createServer().listen(0, "127.0.0.1", () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
  // Downloads and caches go under a scratch home.
  const driver = spawn(programs.webkit, [`--port=${port}`], {
    stdio: "ignore", env: { ...process.env, HOME: scratch } });
  let session;
  for (let tries = 0; !session; ++tries) {
    try {
      session = await new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
        browserName: "MiniBrowser",
        "webkitgtk:browserOptions": { binary: miniBrowser, args: ["--automation"] },
      }).build();
    } catch (e) {
      if (tries > 50) throw e;
      await new Promise(r => setTimeout(r, 200));
    }
  }
  await session.manage().setTimeouts({ script: 600000 });
  return {
    goto: url => session.get(url),
    evaluate: (fn, ...args) => session.executeScript(`return (${fn}).apply(null, arguments)`, ...args),
    pick: async (files, input = "#files") => session.findElement(By.css(input)).sendKeys(files.join("\n")),
    // The window as small as the page's width, what is around the page
    // made up for once it is known; no narrower than WebKit's window goes.
    resize: async (width, height) => {
      await session.manage().window().setRect({ width, height });
      const inner = await session.executeScript("return window.innerWidth");
      if (inner > width) await session.manage().window().setRect({ width: 2 * width - inner, height }).catch(() => {});
    },
    pids: () => [driver.pid],
    close: async () => { await session.quit(); driver.kill(); },
  };
}

// `chromiumArgs`: more of Chromium's switches, for measuring.
export function openBrowser(engine, scratch, chromiumArgs = []) {
  return engine === "webkit" ? openWebKit(scratch) : openPuppeteer(engine, scratch, chromiumArgs);
}

// The page over http, every request noted. With "?before=NAME" the page
// comes with the script `before[NAME]` ahead of its own, which may break
// what the page needs of the browser.
export function servePage(pageFile, requests, before = {}) {
  const server = http.createServer((req, res) => {
    const [file, query] = req.url.split("?");
    requests.push(file);
    if (file !== "/vortrim.html") {
      res.writeHead(404).end();
      return;
    }
    let page = fs.readFileSync(pageFile, "utf8");
    const name = new URLSearchParams(query).get("before");
    if (name) page = page.replace("<script>", `<script>${before[name]}</script><script>`);
    res.writeHead(200, { "Content-Type": "text/html; charset=utf-8" }).end(page);
  });
  return new Promise(r => server.listen(0, "127.0.0.1", () => r(server)));
}
