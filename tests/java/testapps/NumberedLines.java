package testapps;

import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;

/**
 * Writes the lines first..last, each "<n>" padded with dots to the given width: to System.out
 * ("out"), System.err ("err"), both by turns ("both": odd numbers to out, even to err), or a plain
 * file stream ("file:NAME"). Prints the nanoseconds the writing took to System.err at the end when
 * the last argument is "time" (the file mode prints it to System.out).
 */
public final class NumberedLines {
    public static void main(String[] args) throws IOException {
        long first = Long.parseLong(args[0]);
        long last = Long.parseLong(args[1]);
        String mode = args[2];
        int width = args.length > 3 ? Integer.parseInt(args[3]) : 0;
        boolean time = args.length > 4 && args[4].equals("time");
        PrintStream file = mode.startsWith("file:") ? new PrintStream(new FileOutputStream(mode.substring(5))) : null;
        String dots = ".".repeat(Math.max(width, 0));
        long start = System.nanoTime();
        for (long n = first; n <= last; n++) {
            String text = Long.toString(n);
            if (text.length() < width) text = text + dots.substring(text.length());
            if (file != null) {
                file.println(text);
            } else if (mode.equals("out") || (mode.equals("both") && n % 2 == 1)) {
                System.out.println(text);
            } else {
                System.err.println(text);
            }
        }
        if (file != null) file.close();
        System.out.flush();
        System.err.flush();
        if (time) (file != null ? System.out : System.err).println("nanos=" + (System.nanoTime() - start));
    }
}
