package testapps;

/** A class that exists but offers no entry point, so the static method lookup must fail. */
public final class NoMain {
    public static int notMain(String[] args) {
        return args.length;
    }
}
