package testapps;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.List;

/**
 * A desktop application that takes later starts' arguments. main leaves a file "started-PID", publishes
 * its own arguments in "ready.txt" and runs until a file "stop" appears; handOff publishes each list it
 * gets in "handed-N.txt" (its thread's name, then one argument a line) and, given "block" first, does
 * not return until a file "release" appears. Files are written whole and then renamed, so that a reader
 * never sees half of one.
 */
public final class SecondInstance {
    private static int handed;

    public static void main(String[] args) throws Exception {
        Files.writeString(Path.of("started-" + ProcessHandle.current().pid()), "");
        publish("ready", List.of(args));
        await("stop");
    }

    public static void handOff(String[] args) throws Exception {
        List<String> lines = new ArrayList<>();
        lines.add("thread=" + Thread.currentThread().getName());
        lines.addAll(List.of(args));
        publish("handed-" + ++handed, lines);
        if (args.length > 0 && args[0].equals("block")) {
            await("release");
        }
    }

    private static void publish(String name, List<String> lines) throws IOException {
        Path partial = Path.of(name + ".partial");
        Files.write(partial, lines, StandardCharsets.UTF_8);
        Files.move(partial, Path.of(name + ".txt"), StandardCopyOption.ATOMIC_MOVE);
    }

    private static void await(String file) throws InterruptedException {
        long end = System.nanoTime() + 600_000_000_000L;
        while (!Files.exists(Path.of(file)) && System.nanoTime() < end) {
            Thread.sleep(20);
        }
    }
}
